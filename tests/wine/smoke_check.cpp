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

void Expect(const std::string &fact, const std::string &seen, const std::string &expected) {
    if (seen == expected)
        Check(true, "%s: %s", fact.c_str(), seen.c_str());
    else
        Check(false, "%s: saw \"%s\", expected \"%s\"", fact.c_str(), seen.c_str(), expected.c_str());
}

int Failures() {
    return failures;
}
