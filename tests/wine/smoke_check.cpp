#include "smoke_check.h"

#include <stdarg.h>
#include <stdio.h>

#include <future>
#include <thread>

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

HWND WindowOnItsOwnThread(const char *className, const char *title, WNDPROC proc) {
    std::promise<HWND> made;
    std::future<HWND> window = made.get_future();
    std::thread([made = std::move(made), className, title, proc]() mutable {
        WNDCLASSA c = {};
        c.lpfnWndProc = proc;
        c.lpszClassName = className;
        RegisterClassA(&c);
        made.set_value(CreateWindowA(className, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                     nullptr, nullptr));
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    }).detach();
    return window.get();
}
