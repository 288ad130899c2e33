// qvlmr-hlp SOURCE HEADER OUTPUT: writes the setup dialog's pop-up help (a WinHelp file) from
// its source text, with the help contexts that HEADER (resource.h) defines.
#include <stdio.h>

#include <fstream>
#include <sstream>

#include "hlp_writer.h"
#include "monitor_names.h"

namespace {
bool ReadFile(const char *path, std::string *text) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    *text = s.str();
    return (bool)in;
}
}  // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: qvlmr-hlp SOURCE HEADER OUTPUT\n");
        return 2;
    }
    std::string source, header;
    if (!ReadFile(argv[2], &header)) {
        fprintf(stderr, "qvlmr-hlp: cannot read %s\n", argv[2]);
        return 1;
    }
    bool in = ReadFile(argv[1], &source);
    std::vector<HelpTopic> topics;
    std::string error;
    if (!in || !ParseHelpSource(source, ReadHelpContexts(header), &topics, &error)) {
        fprintf(stderr, "qvlmr-hlp: %s: %s\n", argv[1], in ? error.c_str() : "cannot read it");
        return 1;
    }
    std::string file = WriteWinHelp(MONITOR_NAME, topics);
    if (file.empty()) {
        fprintf(stderr, "qvlmr-hlp: %s: the topics are too long for one topic block\n", argv[1]);
        return 1;
    }
    std::ofstream out(argv[3], std::ios::binary);
    out << file;
    if (!out) {
        fprintf(stderr, "qvlmr-hlp: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
