// The text rules of the setup dialog over arbitrary bytes: the character and port name
// rules, the dotted form, and the in-place rewrite of a dotted address (in a buffer of
// exactly the text's size, so a write past it is caught).
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../src/ui/dotted_address.h"
#include "../src/ui/port_name_rules.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!FuzzReady()) abort();
    Reader in{data, size};
    qvhost::SetCodePage(in.Byte() & 1 ? 932 : 1252);
    std::string text = in.Text(1100);
    HasOnlyAllowedChars(text.c_str(), ALLOWED_SYMBOLS);
    IsValidPortNameText(text.c_str());
    IsDottedAddressForm(text.c_str());

    std::vector<char> exact(text.begin(), text.end());
    exact.push_back(0);
    int result = NormalizeDottedAddress(exact.data());
    std::string after(exact.data());
    if (result == 0 && after != text) abort();  // 0 leaves the text alone
    if (result == 1) {
        // four decimal numbers of at most three digits, never longer than the text
        if (after.size() > text.size()) abort();
        int dots = 0, digits = 0;
        for (char c : after) {
            if (c == '.') {
                if (digits == 0) abort();
                ++dots;
                digits = 0;
            } else if (c < '0' || c > '9' || ++digits > 3) {
                abort();
            }
        }
        if (dots != 3 || digits == 0) abort();
    }
    return 0;
}
