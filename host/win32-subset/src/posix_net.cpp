#include "posix_net.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qvnet {

namespace {
int Ret(int r) {
    return r < 0 ? -errno : r;
}
sockaddr_in Addr(uint32_t addrNet, uint16_t portNet) {
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = addrNet;
    a.sin_port = portNet;
    return a;
}
}  // namespace

int Socket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Ret(fd);
    // Winsock's documented default send buffer is 8 KiB, and it does not grow. Linux doubles
    // the value set for its own accounting, of which the data take about half; how many bytes
    // exactly Windows 95 takes before a send would block is not known here (README.md).
    // Left alone, Linux would let a loopback send buffer grow to megabytes, so a slow
    // printer would keep whole documents from ever making a send wait.
    int winsockSendBuffer = 8192;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &winsockSendBuffer, sizeof winsockSendBuffer);
    return fd;
}
int Bind(int fd, uint32_t addrNet, uint16_t portNet) {
    sockaddr_in a = Addr(addrNet, portNet);
    return Ret(::bind(fd, (sockaddr *)&a, sizeof a));
}
int Connect(int fd, uint32_t addrNet, uint16_t portNet) {
    sockaddr_in a = Addr(addrNet, portNet);
    int r;
    do r = ::connect(fd, (sockaddr *)&a, sizeof a);
    while (r < 0 && errno == EINTR);
    return Ret(r);
}
long Send(int fd, const void *buf, size_t len) {
    long r;
    do r = ::send(fd, buf, len, MSG_NOSIGNAL);
    while (r < 0 && errno == EINTR);
    return r < 0 ? -errno : r;
}
long Recv(int fd, void *buf, size_t len, bool peek) {
    long r;
    do r = ::recv(fd, buf, len, peek ? MSG_PEEK : 0);
    while (r < 0 && errno == EINTR);
    return r < 0 ? -errno : r;
}
int Shutdown(int fd, int how) {
    return Ret(::shutdown(fd, how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR));
}
int SetLinger(int fd, bool on, int seconds) {
    struct linger l = {on ? 1 : 0, seconds};
    return Ret(setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l));
}
int SetReuseAddr(int fd, bool on) {
    int v = on ? 1 : 0;
    return Ret(setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &v, sizeof v));
}
int SetNoDelay(int fd, bool on) {
    int v = on ? 1 : 0;
    return Ret(setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v));
}
int SetNonBlocking(int fd, bool on) {
    int fl = fcntl(fd, F_GETFL);
    if (fl < 0) return -errno;
    return Ret(fcntl(fd, F_SETFL, on ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK)));
}
int Close(int fd) {
    return Ret(::close(fd));
}
int PendingError(int fd) {
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) return errno;
    return err;
}
int Poll(std::vector<PollItem> &items, int timeoutMs) {
    std::vector<pollfd> fds(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        fds[i].fd = items[i].fd;
        fds[i].events = (short)((items[i].wantRead ? POLLIN : 0) | (items[i].wantWrite ? POLLOUT : 0) |
                                (items[i].wantExcept ? POLLPRI : 0));
        fds[i].revents = 0;
    }
    int r;
    do r = ::poll(fds.data(), fds.size(), timeoutMs);
    while (r < 0 && errno == EINTR);
    if (r < 0) return -errno;
    int ready = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        short ev = fds[i].revents;
        items[i].readable = items[i].wantRead && (ev & (POLLIN | POLLHUP | POLLERR));
        items[i].writable = items[i].wantWrite && (ev & (POLLOUT | POLLERR | POLLHUP));
        items[i].error = (ev & (POLLERR | POLLNVAL)) != 0;
        if (ev & POLLNVAL) return -EBADF;
        if (items[i].readable || items[i].writable) ++ready;
    }
    return ready;
}
bool ParseDotted(const std::string &text, uint32_t *addrNet) {
    in_addr a;
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    *addrNet = a.s_addr;
    return true;
}
bool ResolveV4(const std::string &name, std::vector<uint32_t> *addrs) {
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
    for (addrinfo *a = res; a; a = a->ai_next) {
        uint32_t v = ((sockaddr_in *)a->ai_addr)->sin_addr.s_addr;
        bool seen = false;
        for (uint32_t x : *addrs) seen = seen || x == v;
        if (!seen) addrs->push_back(v);
    }
    freeaddrinfo(res);
    return !addrs->empty();
}
bool ServiceByPort(uint16_t portNet, const char *proto, std::string *name, std::string *protoOut) {
    struct servent se, *res = nullptr;
    char buf[1024];
    if (getservbyport_r(portNet, proto, &se, buf, sizeof buf, &res) != 0 || !res) return false;
    *name = res->s_name;
    *protoOut = res->s_proto;
    return true;
}
int HostName(std::string *out) {
    char buf[256] = {0};
    if (::gethostname(buf, sizeof buf - 1) != 0) return -errno;
    *out = buf;
    return 0;
}

int ToWsaError(int err) {
    switch (err) {
        case EWOULDBLOCK: return 10035;
        case EINPROGRESS: return 10035;
        case EALREADY: return 10037;
        case EINTR: return 10004;
        case EBADF: return 10038;
        case ENOTSOCK: return 10038;
        case EACCES: return 10013;
        case EPERM: return 10013;
        case EFAULT: return 10014;
        case EINVAL: return 10022;
        case EMFILE: return 10024;
        case ENFILE: return 10024;
        case EMSGSIZE: return 10040;
        case EAFNOSUPPORT: return 10047;
        case EADDRINUSE: return 10048;
        case EADDRNOTAVAIL: return 10049;
        case ENETDOWN: return 10050;
        case ENETUNREACH: return 10051;
        case ECONNABORTED: return 10053;
        case ECONNRESET: return 10054;
        case EPIPE: return 10054;
        case ENOBUFS: return 10055;
        case ENOMEM: return 10055;
        case EISCONN: return 10056;
        case ENOTCONN: return 10057;
        case ESHUTDOWN: return 10058;
        case ETIMEDOUT: return 10060;
        case ECONNREFUSED: return 10061;
        case EHOSTUNREACH: return 10065;
        default: return 10022;
    }
}

}  // namespace qvnet
