// The help source's errors. The file it writes is read back by a real help viewer, context
// by context, in the Windows check under Wine.
#include <gtest/gtest.h>

#include "hlp_writer.h"

namespace {

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
