// A WinHelp 3.1 file of pop-up topics, each found by its context number (what WinHelpA's
// HELP_CONTEXTPOPUP asks for): the file's internal directory, |SYSTEM, one uncompressed
// |TOPIC block, |FONT, |CONTEXT and the |CTXOMAP of context numbers.
#ifndef QVLMR_HLP_WRITER_H
#define QVLMR_HLP_WRITER_H

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

struct HelpTopic {
    uint32_t context;
    std::string title, text;  // text: one paragraph of 8-bit ANSI
};

// The file's bytes; "" when the topics do not fit the one topic block.
std::string WriteWinHelp(const std::string &title, const std::vector<HelpTopic> &topics);

// The help contexts a C header defines: "#define IDH_NAME NUMBER" lines, by name.
std::map<std::string, uint32_t> ReadHelpContexts(const std::string &header);

// Topics from a source text: blocks separated by blank lines, each a line "CONTEXT Title",
// CONTEXT one of contexts by name, and then the paragraph's lines, joined with spaces; lines
// starting with '#' are comments. False with a message naming the line when the text is not
// of that form, and naming the context when one has no topic.
bool ParseHelpSource(const std::string &source, const std::map<std::string, uint32_t> &contexts,
                     std::vector<HelpTopic> *topics, std::string *error);

#endif
