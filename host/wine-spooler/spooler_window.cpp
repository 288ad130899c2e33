#include "spooler_window.h"

#include <future>
#include <thread>

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
