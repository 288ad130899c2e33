// Asynchronous host name lookups (WSAAsyncGetHostByName): each runs on a thread of its own
// and answers by posting the caller's message to its window, unless it was cancelled.
#include "host_internal.h"
#include "ws_backend.h"

#include <condition_variable>
#include <map>
#include <thread>

namespace qvhost {

namespace {

struct Lookup {
    HWND window;
    UINT message;
    std::string name;
    char *buffer;
    int length;
    bool counted;  // in the active count
    bool cancelled = false;
};

struct Lookups {
    std::mutex mu;
    std::condition_variable released;
    std::map<uintptr_t, Lookup> pending;
    uintptr_t next = 1;
    bool hold = false, failStart = false;
    int started = 0, cancelled = 0;
    std::atomic<int> active{0};  // will answer: started, not held, not cancelled, not posted
};

Lookups &L() {
    static Lookups *l = new Lookups;
    return *l;
}

void Run(uintptr_t handle, qvws::HostentFiller fill) {
    std::string name;
    {
        std::unique_lock<std::mutex> lock(L().mu);
        L().released.wait(lock, [&] { return !L().hold || L().pending[handle].cancelled; });
        name = L().pending[handle].name;
    }
    uint32_t addrs[8];
    int n = qvws::LookupHost(name.c_str(), addrs, 8);
    HWND window = nullptr;
    UINT message = 0;
    LPARAM reply = 0;
    {
        std::lock_guard<std::mutex> lock(L().mu);
        Lookup &l = L().pending[handle];
        bool cancelled = l.cancelled;
        if (!cancelled) {
            int needed = n > 0 ? fill(l.buffer, l.length, l.name.c_str(), addrs, n) : 0;
            int error = n <= 0 ? qvws::kHostNotFound : needed > l.length ? qvws::kNoBuffers : 0;
            reply = MAKELONG(needed, error);
            window = l.window;
            message = l.message;
        }
        L().pending.erase(handle);
        if (cancelled) return;
    }
    PostMessageA(window, message, (WPARAM)handle, reply);
    --L().active;
    NotifyDialogs();
}

}  // namespace

int ActiveLookups() {
    return L().active;
}

void HoldLookups(bool on) {
    std::lock_guard<std::mutex> lock(L().mu);
    L().hold = on;
    if (!on) {
        for (auto &p : L().pending)
            if (!p.second.cancelled && !p.second.counted) {
                p.second.counted = true;
                ++L().active;
            }
        L().released.notify_all();
    }
}

void FailLookupStart(bool on) {
    std::lock_guard<std::mutex> lock(L().mu);
    L().failStart = on;
}

int LookupsStarted() {
    std::lock_guard<std::mutex> lock(L().mu);
    return L().started;
}

int LookupsCancelled() {
    std::lock_guard<std::mutex> lock(L().mu);
    return L().cancelled;
}

}  // namespace qvhost

namespace qvws {

uintptr_t StartLookup(void *window, unsigned message, const char *name, char *buffer, int length,
                      HostentFiller fill, int *error) {
    using namespace qvhost;
    std::lock_guard<std::mutex> lock(L().mu);
    if (L().failStart) {
        *error = qvws::kNoBuffers;
        return 0;
    }
    uintptr_t handle = L().next++;
    L().pending[handle] = Lookup{(HWND)window, message, name, buffer, length, !L().hold};
    ++L().started;
    if (!L().hold) ++L().active;
    std::thread(Run, handle, fill).detach();
    return handle;
}

int CancelLookup(uintptr_t handle) {
    using namespace qvhost;
    std::lock_guard<std::mutex> lock(L().mu);
    auto it = L().pending.find(handle);
    if (it == L().pending.end() || it->second.cancelled) return -qvws::kInvalid;
    it->second.cancelled = true;
    ++L().cancelled;
    if (it->second.counted) --L().active;
    L().released.notify_all();
    NotifyDialogs();
    return 0;
}

}  // namespace qvws
