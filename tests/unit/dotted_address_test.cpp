// Dotted addresses as the setup dialog decides and rewrites them.
#include "../../src/ui/dotted_address.h"
#include "../../src/ui/port_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Normalized(const std::string &text, int *result) {
    char buffer[LOOKUP_HOST_SIZE] = {};
    snprintf(buffer, sizeof buffer, "%s", text.c_str());
    *result = NormalizeDottedAddress(buffer);
    return buffer;
}

TEST(DottedAddress, LeadingZerosAreDroppedOctetByOctet) {
    const struct {
        const char *in, *out;
        int result;
    } cases[] = {
        {"010.001.002.003", "10.1.2.3", 1},
        {"1234.2.3.4", "234.2.3.4", 1},   // more than three digits: the last three count
        {"1.2.3.4", "1.2.3.4", 1},        // rewritten to itself
        {"1.2.3", "1.2.3", 0},            // shorter than seven characters
        {"1.2.3.4.5", "1.2.3.4", 1},      // the four first octets only
        {"1..2.3.4", "1..2.3.4", 0},      // an empty octet
        {"0x0a.1.1.1", "0x0a.1.1.1", 0},  // a letter: left as typed
        {"1.2.3.4 ", "1.2.3.4 ", 0},
        {"999.999.999.999", "999.999.999.999", 1},
    };
    for (auto &c : cases) {
        int result = -1;
        EXPECT_EQ(Normalized(c.in, &result), c.out) << c.in;
        EXPECT_EQ(result, c.result) << c.in;
    }
}

TEST(DottedAddress, OctetOf128CharactersLeavesTheTextAlone) {
    int result = -1;
    std::string longOctet = "1.2.3." + std::string(128, '0');
    EXPECT_EQ(Normalized(longOctet, &result), longOctet);
    EXPECT_EQ(result, 0);
    std::string shorter = "1.2.3." + std::string(126, '0') + "7";  // an octet of 127
    EXPECT_EQ(Normalized(shorter, &result), "1.2.3.7");
    EXPECT_EQ(result, 1);
}

TEST(DottedAddress, FormNeedsThreeDotsInsideAndInetAddr) {
    for (const char *yes : {"10.1.2.3", "010.001.002.003", "0x0a.1.1.1"})
        EXPECT_TRUE(IsDottedAddressForm(yes)) << yes;
    for (const char *no :
         {"1.2.3", ".1.2.3", "1.2.3.", "1..2.3", "1.2.3.4.5", "255.255.255.255", "printer1", ""})
        EXPECT_FALSE(IsDottedAddressForm(no)) << no;
}

}  // namespace
