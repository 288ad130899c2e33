// The help file read by the rules of the help file format notes, as a strict reader does:
// the internal directory finds |TOPIC; its first block's header names no earlier block; the
// topic links are followed from the first until the one with no next, whose own data is not
// shown. Every topic of the source must be shown that way, or a reader such as Windows'
// WinHelp would show it empty. The source's errors name their line.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "file_bytes.h"
#include "hlp_writer.h"

namespace {

const uint32_t kNone = 0xFFFFFFFF;

uint32_t Read32(const std::string &b, size_t at) {
    if (at + 4 > b.size()) return kNone;
    return (uint8_t)b[at] | (uint8_t)b[at + 1] << 8 | (uint8_t)b[at + 2] << 16 |
           (uint32_t)(uint8_t)b[at + 3] << 24;
}
uint16_t Read16(const std::string &b, size_t at) {
    return at + 2 > b.size() ? 0 : (uint16_t)((uint8_t)b[at] | (uint8_t)b[at + 1] << 8);
}

// Where an internal file's data starts (after its 9-byte header), from the directory's one
// leaf page; 0 when it is not listed.
size_t InternalFileAt(const std::string &file, const std::string &name) {
    size_t directory = Read32(file, 4) + 9;  // the directory's own file header
    size_t page = directory + 38, end = page + Read16(file, directory + 4);
    uint16_t entries = Read16(file, page + 2);
    size_t at = page + 8;
    for (uint16_t i = 0; i < entries && at < end; ++i) {
        size_t zero = file.find('\0', at);
        if (zero == std::string::npos) return 0;
        std::string entry = file.substr(at, zero - at);
        uint32_t offset = Read32(file, zero + 1);
        if (entry == name) return offset + 9;
        at = zero + 5;
    }
    return 0;
}

// The texts shown, topic by topic: each paragraph link's text up to the link with no next.
std::vector<std::string> ShownTexts(const std::string &file, std::string *problem) {
    std::vector<std::string> texts;
    size_t topic = InternalFileAt(file, "|TOPIC");
    if (Read32(file, 0) != 0x00035F3F || topic == 0) {
        *problem = "no WinHelp file with a |TOPIC";
        return texts;
    }
    if (Read32(file, topic) != kNone || Read32(file, topic + 8) != kNone) {
        *problem = "the first block's header points at an earlier block";
        return texts;
    }
    uint32_t link = Read32(file, topic + 4);
    for (int guard = 0; guard < 1000 && link < 4096; ++guard) {
        size_t at = topic + link;
        uint32_t size = Read32(file, at), data2Length = Read32(file, at + 4), next = Read32(file, at + 12),
                 data1Length = Read32(file, at + 16);
        if (next == kNone) return texts;  // the closing link: nothing of it is shown
        if ((uint8_t)file[at + 20] == 0x20) {
            std::string text;
            for (char c : file.substr(at + data1Length, data2Length))
                if (c) text += c;
            texts.push_back(text);
        }
        if (size < 21 || next <= link) break;
        link = next;
    }
    *problem = "the topic links never end";
    return texts;
}

TEST(WinHelpFile, EveryTopicIsShownByAReaderThatStopsAtTheLastLink) {
    std::vector<HelpTopic> topics;
    std::string error;
    ASSERT_TRUE(ParseHelpSource(FileBytes(QVLMR_HELP_SOURCE),
                                ReadHelpContexts(FileBytes(QVLMR_RESOURCE_HEADER)), &topics, &error))
        << error;
    std::vector<uint32_t> contexts;
    for (const HelpTopic &t : topics) contexts.push_back(t.context);
    EXPECT_EQ(contexts, (std::vector<uint32_t>{450, 451, 452, 453, 454, 455, 456, 457, 460, 461}));
    std::string problem;
    std::vector<std::string> shown = ShownTexts(WriteWinHelp("QVLMRMON", topics), &problem);
    EXPECT_EQ(problem, "");
    ASSERT_EQ(shown.size(), topics.size());
    for (size_t i = 0; i < topics.size(); ++i) EXPECT_EQ(shown[i], topics[i].text) << topics[i].context;
    EXPECT_EQ(topics.back().title, "Raw") << "the last topic, which a lenient reader alone showed";
}

TEST(WinHelpFile, SourceErrorsNameTheirLineAndEveryContextNeedsATopic) {
    const std::map<std::string, uint32_t> contexts =
        ReadHelpContexts("#define IDH_A 450\n#define IDC_X 9\n#define IDH_B 451\n");
    EXPECT_EQ(contexts, (std::map<std::string, uint32_t>{{"IDH_A", 450}, {"IDH_B", 451}}));
    std::vector<HelpTopic> topics;
    std::string error;
    EXPECT_FALSE(ParseHelpSource("IDH_A Name\nok\n\nIDH_C Other\nok\n", contexts, &topics, &error));
    EXPECT_EQ(error, "line 4: a topic starts with \"CONTEXT Title\", CONTEXT a help context");
    topics.clear();
    EXPECT_FALSE(ParseHelpSource("IDH_A Name\n\nIDH_B Other\nok\n", contexts, &topics, &error));
    EXPECT_EQ(error, "topic 450 has no text");
    topics.clear();
    EXPECT_FALSE(ParseHelpSource("IDH_B Other\nok\n", contexts, &topics, &error));
    EXPECT_EQ(error, "help context IDH_A has no topic");
    EXPECT_EQ(WriteWinHelp("t", {{450, "Name", std::string(5000, 'x')}}), "") << "one 4 KiB topic block";
}

}  // namespace
