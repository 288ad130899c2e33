// The name rules and the clash check against every port the spooler lists.
#include "../../src/ui/port_name_rules.h"

#include "monitor_fixture.h"

namespace {

class NameRulesTest : public MonitorTest {};

// First in this file: the spooler module is loaded once and then kept.
TEST_F(NameRulesTest, SpoolerModuleThatCannotBeLoadedIsTriedAgainNextTime) {
    qvhost::FailLoadLibrary("SPOOLSS.DLL", true);
    DWORD loadError = 0;
    EXPECT_EQ(CheckPortNameClash(nullptr, "LPT1:", &loadError), CLASH_NONE);
    EXPECT_EQ(loadError, (DWORD)ERROR_MOD_NOT_FOUND);
    qvhost::FailLoadLibrary("SPOOLSS.DLL", false);
    EXPECT_EQ(CheckPortNameClash(nullptr, "LPT1:", &loadError), CLASH_SAME_NAME);
    EXPECT_EQ(loadError, 0u);
}

TEST_F(NameRulesTest, AllowedCharacters) {
    EXPECT_TRUE(HasOnlyAllowedChars("", ALLOWED_SYMBOLS));
    EXPECT_TRUE(HasOnlyAllowedChars("abc-1.2_x", ALLOWED_SYMBOLS));
    EXPECT_TRUE(HasOnlyAllowedChars("!#$@%&'()-.^_{}~", ALLOWED_SYMBOLS));
    for (const char *bad : {"a b", "host:q", "a/b", "a,b", "a\"b", "a\\b"})
        EXPECT_FALSE(HasOnlyAllowedChars(bad, ALLOWED_SYMBOLS)) << bad;
}

TEST_F(NameRulesTest, PortNameText) {
    EXPECT_TRUE(IsValidPortNameText(""));
    EXPECT_TRUE(IsValidPortNameText("My port: 3, on floor 2"));
    EXPECT_FALSE(IsValidPortNameText("a\\b"));
    EXPECT_TRUE(IsValidPortNameText(std::string(128, 'x').c_str()));
    EXPECT_FALSE(IsValidPortNameText(std::string(129, 'x').c_str()));
    qvhost::SetCodePage(932);
    EXPECT_TRUE(
        IsValidPortNameText("\x83\x5c"
                            "abc"))
        << "a trail byte equal to a backslash is allowed";
    EXPECT_FALSE(IsValidPortNameText("abc\\"));
}

TEST_F(NameRulesTest, ClashWithEveryPortOfTheSpooler) {
    AddPortValue("IP_10", "10.0.0.10");
    ASSERT_TRUE(StartMonitor());  // its ports join the spooler's list beside LPT1:, COM1:, FILE:
    DWORD loadError = 77;
    EXPECT_EQ(CheckPortNameClash(nullptr, "lpt1:", &loadError), CLASH_SAME_NAME);
    EXPECT_EQ(loadError, 0u);
    EXPECT_EQ(CheckPortNameClash(nullptr, "LPT1", &loadError), CLASH_PREFIX);
    EXPECT_EQ(CheckPortNameClash(nullptr, "FILE:X", &loadError), CLASH_PREFIX);
    EXPECT_EQ(CheckPortNameClash(nullptr, "L", &loadError), CLASH_PREFIX);
    EXPECT_EQ(CheckPortNameClash(nullptr, "ip_10", &loadError), CLASH_SAME_NAME);
    EXPECT_EQ(CheckPortNameClash(nullptr, "IP_1", &loadError), CLASH_PREFIX);
    EXPECT_EQ(CheckPortNameClash(nullptr, "Printer9", &loadError), CLASH_NONE);
    EXPECT_EQ(CheckPortNameClash(nullptr, std::string(300, 'Z').c_str(), &loadError), CLASH_NONE);
}

}  // namespace
