// Plain POSIX socket calls behind neutral names, so that the Winsock layer (whose names
// and types collide with POSIX) never includes a POSIX socket header.
#ifndef QVLMR_HOST_POSIX_NET_H
#define QVLMR_HOST_POSIX_NET_H

#include <stdint.h>

#include <string>
#include <vector>

namespace qvnet {

// Results: >= 0 success; < 0 is -errno.
int Socket();
int Bind(int fd, uint32_t addrNet, uint16_t portNet);
int Connect(int fd, uint32_t addrNet, uint16_t portNet);
long Send(int fd, const void *buf, size_t len);
long Recv(int fd, void *buf, size_t len, bool peek);
int Shutdown(int fd, int how);  // 0 read, 1 write, 2 both
int SetLinger(int fd, bool on, int seconds);
int SetReuseAddr(int fd, bool on);
int SetNoDelay(int fd, bool on);
int SetNonBlocking(int fd, bool on);
int Close(int fd);
int PendingError(int fd);  // SO_ERROR, as a positive errno or 0
struct PollItem {
    int fd;
    bool wantRead, wantWrite, wantExcept;
    bool readable, writable, error;
};
// timeoutMs < 0: no limit. Returns the number of ready items, or -errno.
int Poll(std::vector<PollItem> &items, int timeoutMs);
bool ParseDotted(const std::string &text, uint32_t *addrNet);
bool ResolveV4(const std::string &name, std::vector<uint32_t> *addrsNet);
bool ServiceByPort(uint16_t portNet, const char *proto, std::string *name, std::string *protoOut);
int HostName(std::string *out);

// Errno to WSAE* codes.
int ToWsaError(int err);

}  // namespace qvnet

#endif
