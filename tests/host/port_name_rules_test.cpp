// The characters the setup dialog allows in names and addresses.
#include "../../src/ui/port_name_rules.h"

#include "monitor_fixture.h"

namespace {

class NameRulesTest : public MonitorTest {};

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

}  // namespace
