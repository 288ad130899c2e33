#include "ws_backend.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "host_internal.h"

namespace {

std::mutex g_sockLock;
std::map<uintptr_t, bool> g_sockets;  // open sockets; true while a connect is pending
std::mutex g_hostsLock;
std::map<std::string, std::string> g_hostEntries;
bool g_onlyEntries = false;
std::atomic<size_t> g_sendCalls{0};
std::atomic<size_t> g_recvCalls{0};

// errno as the Winsock error a Windows 95 program would see.
int ToWsaError(int err) {
    switch (err) {
        case EWOULDBLOCK:
        case EINPROGRESS: return qvws::kWouldBlock;
        case EALREADY: return 10037;  // WSAEALREADY
        case EINTR: return 10004;     // WSAEINTR
        case EBADF:
        case ENOTSOCK: return qvws::kNotSocket;
        case EACCES:
        case EPERM: return 10013;  // WSAEACCES
        case EFAULT: return qvws::kFault;
        case EINVAL: return qvws::kInvalid;
        case EMFILE:
        case ENFILE: return qvws::kTooManySockets;
        case EMSGSIZE: return 10040;      // WSAEMSGSIZE
        case EAFNOSUPPORT: return 10047;  // WSAEAFNOSUPPORT
        case EADDRINUSE: return qvws::kAddressInUse;
        case EADDRNOTAVAIL: return 10049;  // WSAEADDRNOTAVAIL
        case ENETDOWN: return qvws::kNetworkDown;
        case ENETUNREACH: return 10051;   // WSAENETUNREACH
        case ECONNABORTED: return 10053;  // WSAECONNABORTED
        case ECONNRESET:
        case EPIPE: return 10054;  // WSAECONNRESET
        case ENOBUFS:
        case ENOMEM: return qvws::kNoBuffers;
        case EISCONN: return 10056;       // WSAEISCONN
        case ENOTCONN: return 10057;      // WSAENOTCONN
        case ESHUTDOWN: return 10058;     // WSAESHUTDOWN
        case ETIMEDOUT: return 10060;     // WSAETIMEDOUT
        case ECONNREFUSED: return 10061;  // WSAECONNREFUSED
        case EHOSTUNREACH: return 10065;  // WSAEHOSTUNREACH
        default: return qvws::kInvalid;
    }
}

// 0 for a call that succeeded, else its Winsock error negated.
int Result(int r) {
    return r < 0 ? -ToWsaError(errno) : 0;
}

sockaddr_in Address(uint32_t addrNet, uint16_t portNet) {
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = addrNet;
    a.sin_port = portNet;
    return a;
}

int SetOption(uintptr_t s, int level, int name, const void *value, socklen_t size) {
    return Result(setsockopt((int)s, level, name, value, size));
}

bool ParseDotted(const std::string &text, uint32_t *addrNet) {
    in_addr a;
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    *addrNet = a.s_addr;
    return true;
}

void ResolveV4(const char *name, std::vector<uint32_t> *addrs) {
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &res) != 0 || !res) return;
    for (addrinfo *a = res; a; a = a->ai_next) {
        uint32_t v = ((sockaddr_in *)a->ai_addr)->sin_addr.s_addr;
        if (std::find(addrs->begin(), addrs->end(), v) == addrs->end()) addrs->push_back(v);
    }
    freeaddrinfo(res);
}

// A call that would block takes a little time: on the virtual clock a millisecond passes,
// so a caller that retries blocked calls until a check falls due gets there.
void NoteWouldBlock(long wsa) {
    if (qvhost::VirtualClock() && wsa == -qvws::kWouldBlock) {
        qvhost::AdvanceVirtualClock(1);
        sched_yield();
    }
}

// A send or receive, made again when a signal cut it short: the bytes moved, or the
// Winsock error negated.
template <class Call>
long Moved(Call call) {
    long n;
    do n = call();
    while (n < 0 && errno == EINTR);
    if (n >= 0) return n;
    int wsa = Result(-1);
    NoteWouldBlock(wsa);
    return wsa;
}

}  // namespace

namespace qvhost {
void ResetOpenConnections() {
    std::lock_guard<std::mutex> lock(g_sockLock);
    for (auto &entry : g_sockets) qvws::SetLinger(entry.first, true, 0);
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
    if (qvhost::TheFaults().socketCreate) return -kTooManySockets;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Result(fd);
    // Winsock's documented default send buffer is 8 KiB, and it does not grow. Linux doubles
    // the value set for its own accounting, of which the data take about half; how many bytes
    // exactly Windows 95 takes before a send would block is not known here (docs/testing.md).
    // Left alone, Linux would let a loopback send buffer grow to megabytes, so a slow
    // printer would keep whole documents from ever making a send wait.
    int winsockSendBuffer = 8192;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &winsockSendBuffer, sizeof winsockSendBuffer);
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
    if (qvhost::TheFaults().allBinds) return -kAddressInUse;
    sockaddr_in a = Address(addrNet, portNet);
    return Result(::bind((int)s, (sockaddr *)&a, sizeof a));
}

int Connect(uintptr_t s, uint32_t addrNet, uint16_t portNet) {
    sockaddr_in a = Address(addrNet, portNet);
    int r;
    do r = ::connect((int)s, (sockaddr *)&a, sizeof a);
    while (r < 0 && errno == EINTR);
    int wsa = Result(r);
    if (wsa == -kWouldBlock) {
        std::lock_guard<std::mutex> lock(g_sockLock);
        g_sockets[s] = true;
    }
    return wsa;
}

// Sends never raise SIGPIPE; a call that would block takes its millisecond.
long Send(uintptr_t s, const void *buf, long len) {
    ++g_sendCalls;
    return Moved([&] { return ::send((int)s, buf, (size_t)len, MSG_NOSIGNAL); });
}

long Recv(uintptr_t s, void *buf, long len, bool peek) {
    ++g_recvCalls;
    return Moved([&] { return ::recv((int)s, buf, (size_t)len, peek ? MSG_PEEK : 0); });
}

int Shutdown(uintptr_t s, int how) {
    return Result(::shutdown((int)s, how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR));
}
int SetLinger(uintptr_t s, bool on, int seconds) {
    struct linger l = {on ? 1 : 0, seconds};
    return SetOption(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}
int SetReuseAddr(uintptr_t s, bool on) {
    int v = on ? 1 : 0;
    return SetOption(s, SOL_SOCKET, SO_REUSEADDR, &v, sizeof v);
}
int SetNoDelay(uintptr_t s, bool on) {
    int v = on ? 1 : 0;
    return SetOption(s, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v);
}
int SetNonBlocking(uintptr_t s, bool on) {
    int fl = fcntl((int)s, F_GETFL);
    if (fl < 0) return Result(fl);
    return Result(fcntl((int)s, F_SETFL, on ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK)));
}

int Close(uintptr_t s) {
    {
        std::lock_guard<std::mutex> lock(g_sockLock);
        if (!g_sockets.erase(s)) return -kNotSocket;
        qvhost::g_openSockets--;
    }
    ::close((int)s);
    return 0;
}

int Select(uintptr_t *readList, unsigned *readCount, uintptr_t *writeList, unsigned *writeCount,
           uintptr_t *exceptList, unsigned *exceptCount, long long totalMs) {
    std::vector<pollfd> items;
    auto add = [&](uintptr_t *list, unsigned count, short events) {
        for (unsigned i = 0; i < count; ++i) {
            auto it = std::find_if(items.begin(), items.end(),
                                   [&](const pollfd &x) { return x.fd == (int)list[i]; });
            if (it == items.end()) it = items.insert(items.end(), pollfd{(int)list[i], 0, 0});
            it->events |= events;
        }
    };
    add(readList, *readCount, POLLIN);
    add(writeList, *writeCount, POLLOUT);
    add(exceptList, *exceptCount, POLLPRI);
    bool virt = qvhost::VirtualClock() && totalMs > 0;
    uint64_t start = qvhost::NowMs();
    std::vector<int> failedConnects;
    for (;;) {
        long long left =
            totalMs < 0 ? -1 : std::max<long long>(0, totalMs - (long long)(qvhost::NowMs() - start));
        int waitMs = (int)(virt ? std::min<long long>(left, qvhost::RealSelectSliceMs()) : left);
        std::vector<pollfd> polled = items;
        for (pollfd &x : polled) {
            if (std::find(failedConnects.begin(), failedConnects.end(), x.fd) != failedConnects.end())
                x.events &= (short)~POLLOUT;
            x.revents = 0;
        }
        int r;
        do r = ::poll(polled.data(), polled.size(), waitMs);
        while (r < 0 && errno == EINTR);
        if (r < 0) return Result(r);
        unsigned nr = 0, nw = 0, ne = 0;
        for (const pollfd &x : polled) {
            if (x.revents & POLLNVAL) return -kNotSocket;
            bool readable = (x.events & POLLIN) && (x.revents & (POLLIN | POLLHUP | POLLERR));
            bool writable = (x.events & POLLOUT) && (x.revents & (POLLOUT | POLLERR | POLLHUP));
            if (writable) {
                std::lock_guard<std::mutex> lock(g_sockLock);
                if (g_sockets[(uintptr_t)x.fd]) {
                    g_sockets[(uintptr_t)x.fd] = false;
                    int err = 0;
                    socklen_t length = sizeof err;
                    if (getsockopt(x.fd, SOL_SOCKET, SO_ERROR, &err, &length) < 0 || err != 0) {
                        // A failed connect is never writable in Winsock, only exceptional.
                        writable = false;
                        failedConnects.push_back(x.fd);
                        if (x.events & POLLPRI) exceptList[ne++] = (uintptr_t)x.fd;
                    }
                }
            }
            if (readable) readList[nr++] = (uintptr_t)x.fd;
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

bool ParseAddress(const char *text, uint32_t *addrNet) {
    // The classic parser (one to four numbers, octal and hexadecimal too) stops at a blank and
    // takes what follows it; Windows 95 takes only blanks after the address.
    const char *end = text;
    while (*end && *end != ' ' && *end != '\t') ++end;
    for (const char *p = end; *p; ++p)
        if (*p != ' ' && *p != '\t') return false;
    for (const char *p = text; p < end; ++p)
        if (!isxdigit((unsigned char)*p) && *p != '.' && *p != 'x' && *p != 'X') return false;
    in_addr a;
    if (end == text || inet_aton(std::string(text, end).c_str(), &a) == 0) return false;
    *addrNet = a.s_addr;
    return true;
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
        if (ParseDotted(fixed, &dotted)) found.push_back(dotted);
    } else if (qvhost::Lower(name) == "localhost") {
        found.push_back(__builtin_bswap32(0x7f000001));
    } else if (ParseDotted(name, &dotted)) {
        found.push_back(dotted);
    } else if (!onlyEntries) {
        ResolveV4(name, &found);
    }
    int n = 0;
    for (uint32_t a : found)
        if (n < max) addrs[n++] = a;
    return n;
}

bool ServiceByPort(uint16_t portNet, const char *proto, char *name, int nameSize, char *protoOut,
                   int protoSize) {
    struct servent entry, *found = nullptr;
    char buffer[1024];
    if (getservbyport_r(portNet, proto, &entry, buffer, sizeof buffer, &found) != 0 || !found) return false;
    snprintf(name, (size_t)nameSize, "%s", found->s_name);
    snprintf(protoOut, (size_t)protoSize, "%s", found->s_proto);
    return true;
}

int HostName(char *out, int capacity) {
    std::string host;
    if (!qvhost::HostNameFor(&host)) return -kNetworkDown;
    if ((int)host.size() >= capacity) return -kFault;
    memcpy(out, host.c_str(), host.size() + 1);
    return 0;
}

}  // namespace qvws
