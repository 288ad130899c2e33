// Top-level windows across processes (queue windows), posted messages, string resources.
#include "host_db.h"
#include "host_internal.h"
#include "resources.h"

#include <signal.h>
#include <string.h>
#include <unistd.h>

namespace qvhost {

namespace {
const long long kWindowBase = 0x10000;
long long WindowId(HWND w) {
    return (long long)(ULONG_PTR)w - kWindowBase;
}
HWND WindowHandle(long long id) {
    return (HWND)(ULONG_PTR)(id + kWindowBase);
}
}  // namespace

HWND CreateTopWindow(const std::string &title) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s("INSERT INTO windows(title, pid) VALUES(?, ?)");
    s.Bind(1, title).Bind(2, (long long)getpid());
    if (!s.Run()) return nullptr;
    return WindowHandle(sqlite3_last_insert_rowid(Db()));
}

void DestroyTopWindow(HWND window) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s("DELETE FROM windows WHERE id = ?");
    s.Bind(1, WindowId(window));
    s.Run();
    Stmt m("DELETE FROM messages WHERE window = ?");
    m.Bind(1, WindowId(window));
    m.Run();
}

void SetWindowTitle(HWND window, const std::string &title) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s("UPDATE windows SET title = ? WHERE id = ?");
    s.Bind(1, title).Bind(2, WindowId(window));
    s.Run();
}

bool TakeMessage(HWND window, UINT *message, WPARAM *wParam, LPARAM *lParam) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s("SELECT seq, msg, wparam, lparam FROM messages WHERE window = ? ORDER BY seq LIMIT 1");
    s.Bind(1, WindowId(window));
    if (!s.Step()) return false;
    long long seq = s.Int(0);
    if (message) *message = (UINT)s.Int(1);
    if (wParam) *wParam = (WPARAM)s.Int(2);
    if (lParam) *lParam = (LPARAM)s.Int(3);
    Stmt d("DELETE FROM messages WHERE seq = ?");
    d.Bind(1, seq);
    d.Run();
    return true;
}

bool PostToWindow(long long id, UINT msg, WPARAM w, LPARAM l) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt e("SELECT pid FROM windows WHERE id = ?");
    e.Bind(1, id);
    if (!e.Step()) return false;
    Stmt s("INSERT INTO messages(window, msg, wparam, lparam) VALUES(?, ?, ?, ?)");
    s.Bind(1, id).Bind(2, (long long)msg).Bind(3, (long long)w).Bind(4, (long long)l);
    return s.Run();
}

}  // namespace qvhost

using namespace qvhost;

extern "C" {

HWND WINAPI FindWindowA(LPCSTR, LPCSTR windowName) {
    if (!windowName) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s("SELECT id, pid FROM windows WHERE title = ? COLLATE NOCASE ORDER BY id");
    s.Bind(1, windowName);
    while (s.Step()) {
        pid_t pid = (pid_t)s.Int(1);
        if (pid == getpid() || kill(pid, 0) == 0) return WindowHandle(s.Int(0));
    }
    return nullptr;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    bool posted = IsLocalWindow(window) ? PostToLocalWindow(window, message, wParam, lParam)
                                        : PostToWindow(WindowId(window), message, wParam, lParam);
    if (!posted) return Failed(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    return TRUE;
}

// A top-level window's thread is its process's main thread, whose id is the process id.
DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD processId) {
    if (IsLocalWindow(window)) {
        DWORD thread = LocalWindowThread(window);
        if (processId) *processId = thread ? (DWORD)getpid() : 0;
        return thread;
    }
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s("SELECT pid FROM windows WHERE id = ?");
    s.Bind(1, WindowId(window));
    DWORD pid = s.Step() ? (DWORD)s.Int(0) : 0;
    if (processId) *processId = pid;
    return pid;
}

}  // extern "C"
