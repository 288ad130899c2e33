#include "dotted_address.h"

#include <winsock.h>

#include "../monitor/text.h"
#include "port_settings.h"

namespace {

BOOL IsDigitChar(char c) {
    return IsCharAlphaNumericA(c) && !IsCharAlphaA(c);
}

}  // namespace

BOOL IsDottedAddressForm(const char *host) {
    int length = TextLength(host);
    if (length == 0 || host[0] == '.' || host[length - 1] == '.') return FALSE;
    int dots = 0;
    for (int i = 0; i < length; ++i) {
        if (host[i] != '.') continue;
        if (host[i + 1] == '.') return FALSE;
        ++dots;
    }
    return dots == 3 && inet_addr(host) != INADDR_NONE;
}

int NormalizeDottedAddress(char *host) {
    int length = TextLength(host);
    if (length < 7) return 0;
    for (int i = 0; i < length; ++i)
        if (host[i] != '.' && !IsDigitChar(host[i])) return 0;
    char work[LOOKUP_HOST_SIZE + 1];
    char output[LOOKUP_HOST_SIZE];
    CopyText(work, sizeof work - 1, host);
    AppendText(work, sizeof work, ".");
    output[0] = 0;
    const char *at = work;
    for (int octet = 0; octet < 4; ++octet) {
        const char *dot = at;
        while (*dot && *dot != '.') ++dot;
        if (!*dot) return 0;
        // the octet's length is held in a signed 8-bit count: 128 or more wraps below 1
        signed char n = (signed char)(dot - at);
        if (n < 1) return 0;
        const char *digits = n > 3 ? dot - 3 : at;
        DWORD value = 0;
        for (const char *p = digits; p < dot; ++p) value = value * 10 + (DWORD)(*p - '0');
        char text[12];
        FormatDecimal(text, sizeof text, value, 1);
        AppendText(output, sizeof output, text);
        if (octet < 3) AppendText(output, sizeof output, ".");
        at = dot + 1;
    }
    CopyText(host, length + 1, output);  // never longer than the text it replaces
    return 1;
}
