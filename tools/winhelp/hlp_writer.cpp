#include "hlp_writer.h"

#include <stdlib.h>

#include <map>
#include <sstream>

namespace {

const uint32_t kNone = 0xFFFFFFFF;
const size_t kTopicBlock = 4096, kBlockHeader = 12, kLinkHeader = 21;

void Put16(std::string &out, uint32_t v) {
    out += (char)(v & 0xFF);
    out += (char)((v >> 8) & 0xFF);
}
void Put32(std::string &out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void Set32(std::string &out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = (char)((v >> (8 * i)) & 0xFF);
}
// The compressed numbers of a paragraph record: a long in two bytes (value * 2 + 0x8000), an
// unsigned short in one byte (value * 2) or two (value * 2 + 1).
void PutCompressedLong(std::string &out, uint32_t v) {
    if (v < 0x4000) {
        Put16(out, 0x8000 + 2 * v);
    } else {
        Put32(out, 0x80000000u + 2 * v + 1);
    }
}
void PutCompressedUShort(std::string &out, uint32_t v) {
    if (v < 0x80)
        out += (char)(2 * v);
    else
        Put16(out, 2 * v + 1);
}

// A topic link: the 21-byte header, its LinkData1 and LinkData2 (stored as they are: the file
// has no phrase table to compress them with).
std::string Link(uint8_t type, const std::string &data1, const std::string &data2, uint32_t prev,
                 uint32_t next) {
    std::string out;
    Put32(out, (uint32_t)(kLinkHeader + data1.size() + data2.size()));
    Put32(out, (uint32_t)data2.size());
    Put32(out, prev);
    Put32(out, next);
    Put32(out, (uint32_t)(kLinkHeader + data1.size()));
    out += (char)type;
    return out + data1 + data2;
}

// A B+ tree of one leaf page holding the entries as given (already in key order).
std::string OneLeafTree(const char *structure, uint16_t flags, uint16_t pageSize,
                        const std::vector<std::string> &entries) {
    std::string out;
    Put16(out, 0x293B);
    Put16(out, flags);
    Put16(out, pageSize);
    std::string s(structure);
    s.resize(16, '\0');
    out += s;
    Put16(out, 0);       // must be zero
    Put16(out, 0);       // page splits
    Put16(out, 0);       // root page
    Put16(out, 0xFFFF);  // must be -1
    Put16(out, 1);       // pages
    Put16(out, 1);       // levels
    Put32(out, (uint32_t)entries.size());
    std::string page;
    for (const std::string &e : entries) page += e;
    std::string header;
    Put16(header, (uint32_t)(pageSize - 8 - page.size()));  // free bytes at the page's end
    Put16(header, (uint32_t)entries.size());
    Put16(header, 0xFFFF);  // no previous page
    Put16(header, 0xFFFF);  // no next page
    page = header + page;
    page.resize(pageSize, '\0');
    return out + page;
}

std::string InternalFile(const std::string &data) {
    std::string out;
    Put32(out, (uint32_t)(data.size() + 9));  // reserved: the file with this header
    Put32(out, (uint32_t)data.size());
    out += (char)4;
    return out + data;
}

}  // namespace

std::string WriteWinHelp(const std::string &title, const std::vector<HelpTopic> &topics) {
    // |TOPIC: per topic a header link (its title) and one paragraph; a topic's offset, which
    // the context map points at, counts the characters of the paragraphs before it.
    std::vector<std::string> headerData, paraData1, paraData2;
    std::vector<uint32_t> offsets;
    uint32_t characters = 0;
    for (const HelpTopic &t : topics) {
        offsets.push_back(characters);
        std::string text2 = std::string(1, '\0') + t.text + std::string(2, '\0');
        std::string p1;
        PutCompressedLong(p1, (uint32_t)text2.size());
        PutCompressedUShort(p1, (uint32_t)t.text.size() + 1);  // the text and its paragraph end
        p1 += '\0';
        p1 += (char)0x80;
        Put16(p1, 0);      // paragraph id
        Put16(p1, 0);      // no paragraph attributes
        p1 += (char)0x80;  // font 0
        Put16(p1, 0);
        p1 += (char)0x82;  // end of paragraph
        p1 += (char)0xFF;  // end of the record
        paraData1.push_back(p1);
        paraData2.push_back(text2);
        headerData.push_back(t.title + '\0');
        characters += (uint32_t)t.text.size() + 1;
    }
    // Each link's TOPICPOS: 12 (the block header) plus its place in the block. The topics
    // end with a closing header link that holds no text: a reader stops at the link with no
    // next one and shows nothing of it.
    std::vector<uint32_t> pos;
    size_t at = kBlockHeader;
    for (size_t i = 0; i < topics.size(); ++i) {
        pos.push_back((uint32_t)at);
        at += kLinkHeader + 28 + headerData[i].size();
        pos.push_back((uint32_t)at);
        at += kLinkHeader + paraData1[i].size() + paraData2[i].size();
    }
    const uint32_t closing = (uint32_t)at;
    at += kLinkHeader + 28;
    if (at > kTopicBlock || topics.empty()) return "";
    std::string block;
    Put32(block, kNone);                   // last topic link of an earlier block: none
    Put32(block, (uint32_t)kBlockHeader);  // first topic link
    Put32(block, kNone);                   // last topic header of an earlier block: none
    // A topic header: its size with its paragraphs, no browse sequence, its number, no
    // non-scrolling region, where its scrolling region starts, the next topic.
    auto topicHeader = [](size_t size, uint32_t number, uint32_t scroll, uint32_t next) {
        std::string th;
        Put32(th, (uint32_t)size);
        Put32(th, kNone);
        Put32(th, kNone);
        Put32(th, number);
        Put32(th, kNone);
        Put32(th, scroll);
        Put32(th, next);
        return th;
    };
    for (size_t i = 0; i < topics.size(); ++i) {
        uint32_t hdr = pos[2 * i], para = pos[2 * i + 1];
        uint32_t prev = i ? pos[2 * i - 1] : kNone,
                 nextTopic = i + 1 < topics.size() ? pos[2 * i + 2] : closing;
        size_t size = 2 * kLinkHeader + 28 + headerData[i].size() + paraData1[i].size() + paraData2[i].size();
        block += Link(2, topicHeader(size, (uint32_t)i, para, nextTopic), headerData[i], prev, para);
        block += Link(0x20, paraData1[i], paraData2[i], hdr, nextTopic);
    }
    block +=
        Link(2, topicHeader(kLinkHeader + 28, (uint32_t)topics.size(), kNone, kNone), "", pos.back(), kNone);
    block.resize(kTopicBlock, '\0');

    std::string system;
    Put16(system, 0x036C);
    Put16(system, 21);  // WinHelp 3.1
    Put16(system, 1);
    Put32(system, 0);  // no build date: the same source gives the same file
    Put16(system, 0);  // topics uncompressed, in 4 KiB blocks
    Put16(system, 1);  // the help file's title
    Put16(system, (uint32_t)title.size() + 1);
    system += title + '\0';

    std::string font;
    Put16(font, 1);   // face names
    Put16(font, 1);   // descriptors
    Put16(font, 8);   // face names at
    Put16(font, 28);  // descriptors at, after one 20-byte face name
    std::string face = "MS Sans Serif";
    face.resize(20, '\0');
    font += face;
    font += (char)0;                     // plain
    font += (char)16;                    // 8 points, in half points
    font += (char)3;                     // swiss
    Put16(font, 0);                      // face name 0
    font += std::string(3, '\0');        // black on
    font += std::string(3, (char)0xFF);  // white

    std::string map;
    Put16(map, (uint32_t)topics.size());
    for (size_t i = 0; i < topics.size(); ++i) {
        Put32(map, topics[i].context);
        Put32(map, offsets[i]);
    }

    std::map<std::string, std::string> files = {{"|CONTEXT", OneLeafTree("L4", 0x0002, 2048, {})},
                                                {"|CTXOMAP", map},
                                                {"|FONT", font},
                                                {"|SYSTEM", system},
                                                {"|TOPIC", block}};
    std::string out(16, '\0');
    std::vector<std::string> directory;  // names in byte order, as the map keeps them
    for (const auto &f : files) {
        std::string entry = f.first + '\0';
        Put32(entry, (uint32_t)out.size());
        directory.push_back(entry);
        out += InternalFile(f.second);
    }
    uint32_t directoryAt = (uint32_t)out.size();
    out += InternalFile(OneLeafTree("z4", 0x0402, 1024, directory));
    Set32(out, 0, 0x00035F3F);
    Set32(out, 4, directoryAt);
    Set32(out, 8, kNone);  // no free block
    Set32(out, 12, (uint32_t)out.size());
    return out;
}

std::map<std::string, uint32_t> ReadHelpContexts(const std::string &header) {
    std::map<std::string, uint32_t> contexts;
    std::istringstream in(header);
    std::string word, name;
    unsigned long number = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        if (words >> word >> name >> number && word == "#define" && name.compare(0, 4, "IDH_") == 0)
            contexts[name] = (uint32_t)number;
    }
    return contexts;
}

bool ParseHelpSource(const std::string &source, const std::map<std::string, uint32_t> &contexts,
                     std::vector<HelpTopic> *topics, std::string *error) {
    std::istringstream in(source);
    std::string line;
    int number = 0;
    HelpTopic *current = nullptr;
    std::map<uint32_t, std::string> missing;
    for (const auto &c : contexts) missing[c.second] = c.first;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '#') continue;
        if (line.empty()) {
            current = nullptr;
            continue;
        }
        if (!current) {
            size_t space = line.find(' ');
            auto context = contexts.find(line.substr(0, space));
            if (space == std::string::npos || space + 1 == line.size() || context == contexts.end()) {
                *error = "line " + std::to_string(number) +
                         ": a topic starts with \"CONTEXT Title\", CONTEXT a help context";
                return false;
            }
            topics->push_back({context->second, line.substr(space + 1), ""});
            missing.erase(context->second);
            current = &topics->back();
            continue;
        }
        for (unsigned char c : line)
            if (c < 0x20 || c > 0x7E) {
                *error = "line " + std::to_string(number) + ": plain printable ASCII only";
                return false;
            }
        current->text += (current->text.empty() ? "" : " ") + line;
    }
    for (const HelpTopic &t : *topics)
        if (t.text.empty()) {
            *error = "topic " + std::to_string(t.context) + " has no text";
            return false;
        }
    if (!missing.empty()) {
        *error = "help context " + missing.begin()->second + " has no topic";
        return false;
    }
    if (topics->empty()) *error = "no topics";
    return !topics->empty();
}
