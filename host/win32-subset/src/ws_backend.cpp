#include "ws_backend.h"

#include "host_internal.h"
#include "posix_net.h"

#include <sched.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>

namespace {

std::mutex g_sockLock;
std::map<uintptr_t, bool> g_sockets;  // open sockets; true while a connect is pending
std::mutex g_hostsLock;
std::map<std::string, std::string> g_hostEntries;
bool g_onlyEntries = false;
std::atomic<size_t> g_sendCalls{0};
std::atomic<size_t> g_recvCalls{0};

long Wsa(long negErrno) {
    return -(long)qvnet::ToWsaError((int)-negErrno);
}

// A call that would block takes a little time: on the virtual clock a millisecond passes,
// so a caller that retries blocked calls until a check falls due gets there.
void NoteWouldBlock(long wsa) {
    if (qvhost::VirtualClock() && wsa == -10035) {
        qvhost::AdvanceVirtualClock(1);
        sched_yield();
    }
}

}  // namespace

namespace qvhost {
void ResetOpenConnections() {
    std::lock_guard<std::mutex> lock(g_sockLock);
    for (auto &entry : g_sockets) qvnet::SetLinger((int)entry.first, true, 0);
}
size_t SendCalls() {
    return g_sendCalls;
}
size_t ReceiveCalls() {
    return g_recvCalls;
}
void AddHostEntry(const std::string &name, const std::string &dotted) {
    std::lock_guard<std::mutex> lock(g_hostsLock);
    g_hostEntries[Lower(name)] = dotted;
}
void UseOnlyHostEntries(bool on) {
    std::lock_guard<std::mutex> lock(g_hostsLock);
    g_onlyEntries = on;
    if (!on) g_hostEntries.clear();
}
}  // namespace qvhost

namespace qvws {

bool StartupFails() {
    return qvhost::TheFaults().wsaStartup;
}

int Socket() {
    if (qvhost::TheFaults().socketCreate) return -10024; /* WSAEMFILE */
    int fd = qvnet::Socket();
    if (fd < 0) return (int)Wsa(fd);
    std::lock_guard<std::mutex> lock(g_sockLock);
    g_sockets[(uintptr_t)fd] = false;
    qvhost::g_openSockets++;
    return fd;
}

bool Known(uintptr_t s) {
    std::lock_guard<std::mutex> lock(g_sockLock);
    return g_sockets.count(s) != 0;
}

int Bind(uintptr_t s, uint32_t addrNet, uint16_t portNet) {
    if (qvhost::TheFaults().allBinds) return -10048; /* WSAEADDRINUSE */
    int r = qvnet::Bind((int)s, addrNet, portNet);
    return r < 0 ? (int)Wsa(r) : 0;
}

int Connect(uintptr_t s, uint32_t addrNet, uint16_t portNet) {
    int r = qvnet::Connect((int)s, addrNet, portNet);
    if (r == 0) return 0;
    long wsa = Wsa(r);
    if (wsa == -10035) {
        std::lock_guard<std::mutex> lock(g_sockLock);
        g_sockets[s] = true;
    }
    return (int)wsa;
}

long Send(uintptr_t s, const void *buf, long len) {
    ++g_sendCalls;
    long n = qvnet::Send((int)s, buf, (size_t)len);
    if (n >= 0) return n;
    NoteWouldBlock(Wsa(n));
    return Wsa(n);
}

long Recv(uintptr_t s, void *buf, long len, bool peek) {
    ++g_recvCalls;
    long n = qvnet::Recv((int)s, buf, (size_t)len, peek);
    if (n >= 0) return n;
    NoteWouldBlock(Wsa(n));
    return Wsa(n);
}

int Shutdown(uintptr_t s, int how) {
    int r = qvnet::Shutdown((int)s, how);
    return r < 0 ? (int)Wsa(r) : 0;
}
int SetLinger(uintptr_t s, bool on, int seconds) {
    int r = qvnet::SetLinger((int)s, on, seconds);
    return r < 0 ? (int)Wsa(r) : 0;
}
int SetReuseAddr(uintptr_t s, bool on) {
    int r = qvnet::SetReuseAddr((int)s, on);
    return r < 0 ? (int)Wsa(r) : 0;
}
int SetNoDelay(uintptr_t s, bool on) {
    int r = qvnet::SetNoDelay((int)s, on);
    return r < 0 ? (int)Wsa(r) : 0;
}
int SetNonBlocking(uintptr_t s, bool on) {
    int r = qvnet::SetNonBlocking((int)s, on);
    return r < 0 ? (int)Wsa(r) : 0;
}

int Close(uintptr_t s) {
    {
        std::lock_guard<std::mutex> lock(g_sockLock);
        if (!g_sockets.erase(s)) return -10038; /* WSAENOTSOCK */
        qvhost::g_openSockets--;
    }
    qvnet::Close((int)s);
    return 0;
}

int Select(uintptr_t *readList, unsigned *readCount, uintptr_t *writeList, unsigned *writeCount,
           uintptr_t *exceptList, unsigned *exceptCount, long long totalMs) {
    std::vector<qvnet::PollItem> items;
    auto add = [&](uintptr_t *list, unsigned count, int kind) {
        for (unsigned i = 0; i < count; ++i) {
            qvnet::PollItem *it = nullptr;
            for (auto &x : items)
                if (x.fd == (int)list[i]) it = &x;
            if (!it) {
                items.push_back({(int)list[i], false, false, false, false, false, false});
                it = &items.back();
            }
            (kind == 0 ? it->wantRead : kind == 1 ? it->wantWrite : it->wantExcept) = true;
        }
    };
    add(readList, *readCount, 0);
    add(writeList, *writeCount, 1);
    add(exceptList, *exceptCount, 2);
    bool virt = qvhost::VirtualClock() && totalMs > 0;
    uint64_t start = qvhost::NowMs();
    std::vector<int> failedConnects;
    for (;;) {
        long long left =
            totalMs < 0 ? -1 : std::max<long long>(0, totalMs - (long long)(qvhost::NowMs() - start));
        int waitMs = (int)(virt ? std::min<long long>(left, qvhost::RealSelectSliceMs()) : left);
        std::vector<qvnet::PollItem> polled;
        for (auto x : items) {
            if (std::find(failedConnects.begin(), failedConnects.end(), x.fd) != failedConnects.end())
                x.wantWrite = false;
            polled.push_back(x);
        }
        int r = qvnet::Poll(polled, waitMs);
        if (r < 0) return (int)Wsa(r);
        unsigned nr = 0, nw = 0, ne = 0;
        for (auto &x : polled) {
            bool writable = x.writable;
            if (writable) {
                std::lock_guard<std::mutex> lock(g_sockLock);
                if (g_sockets[(uintptr_t)x.fd]) {
                    g_sockets[(uintptr_t)x.fd] = false;
                    if (qvnet::PendingError(x.fd) != 0) {
                        // A failed connect is never writable in Winsock, only exceptional.
                        writable = false;
                        failedConnects.push_back(x.fd);
                        if (x.wantExcept) exceptList[ne++] = (uintptr_t)x.fd;
                    }
                }
            }
            if (x.readable) readList[nr++] = (uintptr_t)x.fd;
            if (writable) writeList[nw++] = (uintptr_t)x.fd;
        }
        int ready = (int)(nr + nw + ne);
        bool timedOut = totalMs >= 0 && (long long)(qvhost::NowMs() - start) >= totalMs;
        if (ready == 0 && virt) qvhost::RecordVirtualWait((DWORD)left, true);  // the poll's time passes
        if (ready > 0 || virt || timedOut) {
            *readCount = nr;
            *writeCount = nw;
            *exceptCount = ne;
            return ready;
        }
    }
}

int LookupHost(const char *name, uint32_t *addrs, int max) {
    std::vector<uint32_t> found;
    std::string fixed;
    bool onlyEntries;
    {
        std::lock_guard<std::mutex> lock(g_hostsLock);
        auto it = g_hostEntries.find(qvhost::Lower(name));
        if (it != g_hostEntries.end()) fixed = it->second;
        onlyEntries = g_onlyEntries;
    }
    uint32_t dotted;
    if (!fixed.empty()) {
        if (qvnet::ParseDotted(fixed, &dotted)) found.push_back(dotted);
    } else if (qvhost::Lower(name) == "localhost") {
        found.push_back(__builtin_bswap32(0x7f000001));
    } else if (qvnet::ParseDotted(name, &dotted)) {
        found.push_back(dotted);
    } else if (!onlyEntries) {
        qvnet::ResolveV4(name, &found);
    }
    int n = 0;
    for (uint32_t a : found)
        if (n < max) addrs[n++] = a;
    return n;
}

bool ServiceByPort(uint16_t portNet, const char *proto, char *name, int nameSize, char *protoOut,
                   int protoSize) {
    std::string n, p;
    if (!qvnet::ServiceByPort(portNet, proto, &n, &p)) return false;
    snprintf(name, (size_t)nameSize, "%s", n.c_str());
    snprintf(protoOut, (size_t)protoSize, "%s", p.c_str());
    return true;
}

int HostName(char *out, int capacity) {
    std::string host;
    if (!qvhost::HostNameFor(&host)) return -10050;  /* WSAENETDOWN */
    if ((int)host.size() >= capacity) return -10014; /* WSAEFAULT */
    memcpy(out, host.c_str(), host.size() + 1);
    return 0;
}

}  // namespace qvws
