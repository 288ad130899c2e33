// The pop-up help file read back as a help viewer reads it: the signature, the internal
// directory, the context map, and each context's topic text found through the topic links.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "hlp_writer.h"

namespace {

uint32_t U16(const std::string &b, size_t at) {
    return (uint8_t)b.at(at) | (uint32_t)(uint8_t)b.at(at + 1) << 8;
}
uint32_t U32(const std::string &b, size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

// An internal file's data (after its 9-byte header), found through the directory's leaf.
std::string Internal(const std::string &hlp, const std::string &name) {
    size_t dir = U32(hlp, 4) + 9, page = dir + 38;
    size_t p = page + 8;
    for (uint32_t i = 0; i < U16(hlp, page + 2); ++i) {
        std::string entry = hlp.c_str() + p;
        size_t at = U32(hlp, p + entry.size() + 1);
        if (entry == name) return hlp.substr(at + 9, U32(hlp, at + 4));
        p += entry.size() + 5;
    }
    return "";
}

// The text of the paragraph that follows the topic at the context's offset, walking the
// links as a viewer does: each paragraph's character count moves the offset on.
std::string PopupText(const std::string &hlp, uint32_t context) {
    std::string map = Internal(hlp, "|CTXOMAP"), topic = Internal(hlp, "|TOPIC");
    uint32_t offset = 0xFFFFFFFF;
    for (uint32_t i = 0; i < U16(map, 0); ++i)
        if (U32(map, 2 + 8 * i) == context) offset = U32(map, 6 + 8 * i);
    uint32_t characters = 0;
    bool found = false;
    for (uint32_t ref = 12; ref != 0xFFFFFFFF; ref = U32(topic, ref + 12)) {
        uint8_t type = (uint8_t)topic.at(ref + 20);
        size_t data2 = ref + U32(topic, ref + 16);
        if (type == 2) found = characters == offset;
        if (type != 0x20) continue;
        // the paragraph's character count, compressed: one byte (even) or two (odd)
        uint32_t length = topic.at(ref + 23) & 1 ? U16(topic, ref + 23) / 2 : (uint8_t)topic.at(ref + 23) / 2;
        if (found) return std::string(topic.c_str() + data2 + 1);
        characters += length;
    }
    return "<no topic>";
}

TEST(WinHelpFile, EachContextOpensItsOwnTopic) {
    std::ifstream in(QVLMR_HELP_SOURCE);
    std::stringstream source;
    source << in.rdbuf();
    std::vector<HelpTopic> topics;
    std::string error;
    ASSERT_TRUE(ParseHelpSource(source.str(), &topics, &error)) << error;
    std::vector<uint32_t> contexts;
    for (const HelpTopic &t : topics) contexts.push_back(t.context);
    EXPECT_EQ(contexts, (std::vector<uint32_t>{450, 451, 452, 453, 454, 455, 456, 457, 460, 461}));
    std::string hlp = WriteWinHelp("QV TCP/IP LMR Port", topics);
    ASSERT_FALSE(hlp.empty());
    EXPECT_EQ(hlp.substr(0, 4), std::string("\x3F\x5F\x03\x00", 4)) << "the WinHelp signature";
    EXPECT_EQ(U32(hlp, 12), hlp.size());
    std::string system = Internal(hlp, "|SYSTEM");
    ASSERT_GE(system.size(), 12u);
    EXPECT_EQ(U16(system, 0), 0x036Cu);
    EXPECT_EQ(Internal(hlp, "|TOPIC").size(), 4096u);
    for (const HelpTopic &t : topics) EXPECT_EQ(PopupText(hlp, t.context), t.text) << t.context;
    EXPECT_EQ(PopupText(hlp, 458), "<no topic>");
}

TEST(WinHelpFile, SourceErrorsNameTheirLineAndOverlongTopicsAreRefused) {
    std::vector<HelpTopic> topics;
    std::string error;
    EXPECT_FALSE(ParseHelpSource("450 Name\nok\n\nno number\n", &topics, &error));
    EXPECT_EQ(error, "line 4: a topic starts with \"NUMBER Title\"");
    topics.clear();
    EXPECT_FALSE(ParseHelpSource("450 Name\n", &topics, &error));
    EXPECT_EQ(error, "topic 450 has no text");
    EXPECT_EQ(WriteWinHelp("t", {{450, "Name", std::string(5000, 'x')}}), "") << "one 4 KiB topic block";
}

}  // namespace
