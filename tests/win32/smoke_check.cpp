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

namespace {
struct WindowRequest {
    const char *className, *title;
    WNDPROC proc;
    HWND window;
    HANDLE ready;
};

DWORD WINAPI WindowThread(LPVOID p) {
    WindowRequest *r = (WindowRequest *)p;
    WNDCLASSA c = {};
    c.lpfnWndProc = r->proc;
    c.lpszClassName = r->className;
    RegisterClassA(&c);
    r->window = CreateWindowA(r->className, r->title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                              nullptr, nullptr);
    SetEvent(r->ready);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
}  // namespace

HWND WindowOnItsOwnThread(const char *className, const char *title, WNDPROC proc) {
    WindowRequest r = {className, title, proc, nullptr, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(nullptr, 0, WindowThread, &r, 0, nullptr);
    if (thread) WaitForSingleObject(r.ready, 30000);
    CloseHandle(r.ready);
    if (thread) CloseHandle(thread);
    return r.window;
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
