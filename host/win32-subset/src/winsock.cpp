// Windows Sockets 1.1 for the host build: the Win32-typed front over ws_backend, which
// holds the POSIX side (select with Winsock's meaning, no SIGPIPE, the virtual clock).
#include <winsock.h>

#include "ws_backend.h"

namespace {

thread_local int t_wsaError = 0;

int Fail(int wsaError) {
    t_wsaError = wsaError;
    return SOCKET_ERROR;
}
// Backend results: >= 0 success, else a negated WSAE* code.
int Result(long r) {
    return r < 0 ? Fail((int)-r) : (int)r;
}

void CopyText(char *dst, int cap, const char *src) {
    int i = 0;
    for (; src[i] && i < cap - 1; ++i) dst[i] = src[i];
    dst[i] = 0;
}

struct HostentStore {
    struct hostent he;
    char name[256];
    char *aliases[1];
    char *addrList[9];
    uint32_t addrs[8];
};
thread_local HostentStore t_host;
struct ServentStore {
    struct servent se;
    char name[64];
    char proto[16];
    char *aliases[1];
};
thread_local ServentStore t_serv;

// Lays out a host entry inside the caller's buffer, as Winsock does for asynchronous
// lookups; returns the size needed, and writes nothing when it does not fit.
int FillHostent(char *buffer, int length, const char *name, const uint32_t *addrs, int count) {
    int nameLength = 0;
    while (name[nameLength]) ++nameLength;
    size_t pointers = (size_t)count + 1;
    size_t skip = (size_t)(-(uintptr_t)buffer & (sizeof(char *) - 1));  // the entry starts aligned
    size_t needed =
        skip + sizeof(struct hostent) + sizeof(char *) * (1 + pointers) + 4 * (size_t)count + nameLength + 1;
    if (!buffer || needed > (size_t)length) return (int)needed;
    buffer += skip;
    struct hostent *he = (struct hostent *)buffer;
    char **aliases = (char **)(buffer + sizeof(struct hostent));
    char **list = aliases + 1;
    char *addrArea = (char *)(list + pointers);
    char *nameArea = addrArea + 4 * count;
    aliases[0] = nullptr;
    for (int i = 0; i < count; ++i) {
        __builtin_memcpy(addrArea + 4 * i, &addrs[i], 4);
        list[i] = addrArea + 4 * i;
    }
    list[count] = nullptr;
    __builtin_memcpy(nameArea, name, (size_t)nameLength + 1);
    he->h_name = nameArea;
    he->h_aliases = aliases;
    he->h_addrtype = AF_INET;
    he->h_length = 4;
    he->h_addr_list = list;
    return (int)needed;
}

}  // namespace

extern "C" {

int WSAAPI WSAStartup(WORD version, LPWSADATA data) {
    if (qvws::StartupFails()) return WSASYSNOTREADY;
    if ((version & 0xff) < 1) return WSAVERNOTSUPPORTED;
    if (data) {
        *data = WSADATA();
        data->wVersion = 0x0101;
        data->wHighVersion = 0x0101;
        CopyText(data->szDescription, sizeof data->szDescription, "QVLMR host sockets");
        CopyText(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
        data->iMaxSockets = 256;
    }
    return 0;
}

int WSAAPI WSACleanup(void) {
    return 0;
}
int WSAAPI WSAGetLastError(void) {
    return t_wsaError;
}
void WSAAPI WSASetLastError(int error) {
    t_wsaError = error;
}

SOCKET WSAAPI socket(int af, int type, int) {
    if (af != AF_INET || type != SOCK_STREAM) {
        Fail(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    int fd = qvws::Socket();
    if (fd < 0) {
        Fail(-fd);
        return INVALID_SOCKET;
    }
    return (SOCKET)fd;
}

int WSAAPI bind(SOCKET s, const struct sockaddr *addr, int len) {
    if (!qvws::Known(s)) return Fail(WSAENOTSOCK);
    if (!addr || len < (int)sizeof(struct sockaddr_in)) return Fail(WSAEFAULT);
    const struct sockaddr_in *a = (const struct sockaddr_in *)addr;
    return Result(qvws::Bind(s, a->sin_addr.s_addr, a->sin_port));
}

int WSAAPI connect(SOCKET s, const struct sockaddr *addr, int len) {
    if (!qvws::Known(s)) return Fail(WSAENOTSOCK);
    if (!addr || len < (int)sizeof(struct sockaddr_in)) return Fail(WSAEFAULT);
    const struct sockaddr_in *a = (const struct sockaddr_in *)addr;
    // Not documented for Windows 95: whether it refuses 0.0.0.0 as a destination at once or
    // fails the non-blocking connect after the wait (docs/testing.md says what the monitor does
    // either way). Refused at once here; Linux would take it as this host.
    if (a->sin_addr.s_addr == INADDR_ANY) return Fail(WSAEADDRNOTAVAIL);
    return Result(qvws::Connect(s, a->sin_addr.s_addr, a->sin_port));
}

int WSAAPI select(int, fd_set *readfds, fd_set *writefds, fd_set *exceptfds, const struct timeval *timeout) {
    uintptr_t lists[3][FD_SETSIZE];
    unsigned counts[3] = {0, 0, 0};
    fd_set *sets[3] = {readfds, writefds, exceptfds};
    for (int k = 0; k < 3; ++k) {
        if (!sets[k]) continue;
        for (u_int i = 0; i < sets[k]->fd_count && i < FD_SETSIZE; ++i) {
            if (!qvws::Known(sets[k]->fd_array[i])) return Fail(WSAENOTSOCK);
            lists[k][counts[k]++] = sets[k]->fd_array[i];
        }
    }
    if (counts[0] + counts[1] + counts[2] == 0) return Fail(WSAEINVAL);
    long long ms = timeout ? (long long)timeout->tv_sec * 1000 + timeout->tv_usec / 1000 : -1;
    int r = qvws::Select(lists[0], &counts[0], lists[1], &counts[1], lists[2], &counts[2], ms);
    if (r < 0) return Fail(-r);
    for (int k = 0; k < 3; ++k) {
        if (!sets[k]) continue;
        sets[k]->fd_count = counts[k];
        for (unsigned i = 0; i < counts[k]; ++i) sets[k]->fd_array[i] = lists[k][i];
    }
    return r;
}

int WSAAPI send(SOCKET s, const char *buf, int len, int) {
    if (!qvws::Known(s)) return Fail(WSAENOTSOCK);
    if (len < 0 || (!buf && len)) return Fail(WSAEFAULT);
    return Result(qvws::Send(s, buf, len));
}

int WSAAPI recv(SOCKET s, char *buf, int len, int flags) {
    if (!qvws::Known(s)) return Fail(WSAENOTSOCK);
    if (len < 0 || (!buf && len)) return Fail(WSAEFAULT);
    return Result(qvws::Recv(s, buf, len, (flags & MSG_PEEK) != 0));
}

int WSAAPI shutdown(SOCKET s, int how) {
    if (!qvws::Known(s)) return Fail(WSAENOTSOCK);
    return Result(qvws::Shutdown(s, how)) < 0 ? SOCKET_ERROR : 0;
}

int WSAAPI setsockopt(SOCKET s, int level, int name, const char *value, int len) {
    if (!qvws::Known(s)) return Fail(WSAENOTSOCK);
    if (level == IPPROTO_TCP && name == TCP_NODELAY) {
        if (!value || len < 1) return Fail(WSAEFAULT);
        int on = len >= 4 ? *(const int *)value : *value;
        return Result(qvws::SetNoDelay(s, on != 0)) < 0 ? SOCKET_ERROR : 0;
    }
    if (level != SOL_SOCKET) return Fail(WSAENOPROTOOPT);
    if (name == SO_LINGER) {
        if (!value || len < (int)sizeof(struct linger)) return Fail(WSAEFAULT);
        const struct linger *l = (const struct linger *)value;
        return Result(qvws::SetLinger(s, l->l_onoff != 0, l->l_linger)) < 0 ? SOCKET_ERROR : 0;
    }
    if (name == SO_REUSEADDR) {
        if (!value || len < 1) return Fail(WSAEFAULT);
        int on = len >= 4 ? *(const int *)value : *value;
        return Result(qvws::SetReuseAddr(s, on != 0)) < 0 ? SOCKET_ERROR : 0;
    }
    return Fail(WSAENOPROTOOPT);
}

int WSAAPI closesocket(SOCKET s) {
    return Result(qvws::Close(s)) < 0 ? SOCKET_ERROR : 0;
}

int WSAAPI ioctlsocket(SOCKET s, long cmd, u_long *arg) {
    if (!qvws::Known(s)) return Fail(WSAENOTSOCK);
    if ((unsigned long)cmd != FIONBIO || !arg) return Fail(WSAEINVAL);
    return Result(qvws::SetNonBlocking(s, *arg != 0)) < 0 ? SOCKET_ERROR : 0;
}

u_short WSAAPI htons(u_short v) {
    return (u_short)((v >> 8) | (v << 8));
}
u_short WSAAPI ntohs(u_short v) {
    return (u_short)((v >> 8) | (v << 8));
}
u_long WSAAPI htonl(u_long v) {
    return __builtin_bswap32(v);
}
u_long WSAAPI ntohl(u_long v) {
    return __builtin_bswap32(v);
}

u_long WSAAPI inet_addr(const char *text) {
    if (!text) return INADDR_NONE;
    // Documented (inet_addr): Winsock of Windows 95 to XP answers an empty text, or one of a
    // single space, with INADDR_ANY rather than INADDR_NONE. Not documented, and answered here
    // as INADDR_NONE: a text that starts with a blank or goes on after the address (the
    // platform's parser gives 0.0.0.0, or stops at the space); docs/testing.md lists them.
    if (!text[0] || (text[0] == ' ' && !text[1])) return INADDR_ANY;
    uint32_t address;
    return qvws::ParseAddress(text, &address) ? address : INADDR_NONE;
}

struct hostent *WSAAPI gethostbyname(const char *name) {
    int length = 0;
    while (name && name[length] && length < 256) ++length;
    if (!name || length >= (int)sizeof t_host.name) {
        t_wsaError = WSAEFAULT;
        return nullptr;
    }
    HostentStore &h = t_host;
    h = HostentStore();
    int n = qvws::LookupHost(name, h.addrs, 8);
    if (n <= 0) {
        t_wsaError = WSAHOST_NOT_FOUND;
        return nullptr;
    }
    CopyText(h.name, sizeof h.name, name);
    for (int i = 0; i < n; ++i) h.addrList[i] = (char *)&h.addrs[i];
    h.he.h_name = h.name;
    h.he.h_aliases = h.aliases;
    h.he.h_addrtype = AF_INET;
    h.he.h_length = 4;
    h.he.h_addr_list = h.addrList;
    return &h.he;
}

struct servent *WSAAPI getservbyport(int port, const char *proto) {
    ServentStore &s = t_serv;
    s = ServentStore();
    if (!qvws::ServiceByPort((uint16_t)port, proto, s.name, sizeof s.name, s.proto, sizeof s.proto)) {
        t_wsaError = WSANO_DATA;
        return nullptr;
    }
    s.se.s_name = s.name;
    s.se.s_aliases = s.aliases;
    s.se.s_port = (short)port;
    s.se.s_proto = s.proto;
    return &s.se;
}

int WSAAPI gethostname(char *name, int len) {
    char host[256];
    int r = qvws::HostName(host, sizeof host);
    if (r < 0) return Fail(-r);
    int n = 0;
    while (host[n]) ++n;
    if (!name || len <= n) return Fail(WSAEFAULT);
    CopyText(name, len, host);
    return 0;
}

HANDLE WSAAPI WSAAsyncGetHostByName(HWND window, u_int message, const char *name, char *buffer, int length) {
    if (!name || !buffer || length <= 0) {
        t_wsaError = WSAEFAULT;
        return nullptr;
    }
    int error = 0;
    uintptr_t handle = qvws::StartLookup(window, message, name, buffer, length, FillHostent, &error);
    if (!handle) t_wsaError = error;
    return (HANDLE)handle;
}

int WSAAPI WSACancelAsyncRequest(HANDLE request) {
    return Result(qvws::CancelLookup((uintptr_t)request)) < 0 ? SOCKET_ERROR : 0;
}

int WSAAPI __WSAFDIsSet(SOCKET s, fd_set *set) {
    if (!set) return 0;
    for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; ++i)
        if (set->fd_array[i] == s) return 1;
    return 0;
}

}  // extern "C"
