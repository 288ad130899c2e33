// qvlmr-hlp SOURCE OUTPUT: writes the setup dialog's pop-up help (a WinHelp file) from its
// source text.
#include <stdio.h>

#include <fstream>
#include <sstream>

#include "hlp_writer.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: qvlmr-hlp SOURCE OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream source;
    source << in.rdbuf();
    std::vector<HelpTopic> topics;
    std::string error;
    if (!in || !ParseHelpSource(source.str(), &topics, &error)) {
        fprintf(stderr, "qvlmr-hlp: %s: %s\n", argv[1], in ? error.c_str() : "cannot read it");
        return 1;
    }
    std::string file = WriteWinHelp("QV TCP/IP LMR Port", topics);
    if (file.empty()) {
        fprintf(stderr, "qvlmr-hlp: %s: the topics are too long for one topic block\n", argv[1]);
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << file;
    if (!out) {
        fprintf(stderr, "qvlmr-hlp: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
