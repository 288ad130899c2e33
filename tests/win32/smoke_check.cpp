#include "smoke_check.h"

#include <stdarg.h>
#include <stdio.h>

namespace {
int failures = 0;
}

void Check(bool ok, const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    printf("%s: ", ok ? "OK" : "FAIL");
    vprintf(format, ap);
    printf("\n");
    fflush(stdout);
    va_end(ap);
    if (!ok) ++failures;
}

int Failures() {
    return failures;
}

std::string Printable(const std::string &bytes) {
    std::string out;
    char hex[8];
    for (unsigned char c : bytes) {
        if (c == '\n') {
            out += '|';
        } else if (c < 0x20 || c >= 0x7f) {
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += (char)c;
        }
    }
    return out;
}
