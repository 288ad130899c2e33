// The Winsock calls on POSIX sockets, with plain C types only: the Winsock front
// (winsock.cpp) cannot see POSIX or C++ library headers, whose socket names and BSD types
// collide with Winsock's.
#ifndef QVLMR_HOST_WS_BACKEND_H
#define QVLMR_HOST_WS_BACKEND_H

#include <stdint.h>

namespace qvws {

// The Winsock errors this layer answers with by name (WSAE* of winsock.h).
enum {
    kWouldBlock = 10035,      // WSAEWOULDBLOCK
    kNotSocket = 10038,       // WSAENOTSOCK
    kFault = 10014,           // WSAEFAULT
    kInvalid = 10022,         // WSAEINVAL
    kTooManySockets = 10024,  // WSAEMFILE
    kAddressInUse = 10048,    // WSAEADDRINUSE
    kNetworkDown = 10050,     // WSAENETDOWN
    kNoBuffers = 10055,       // WSAENOBUFS
    kHostNotFound = 11001,    // WSAHOST_NOT_FOUND
};

// Results are >= 0 on success, else a WSAE* code negated.
bool StartupFails();
int Socket();  // a descriptor
bool Known(uintptr_t s);
int Bind(uintptr_t s, uint32_t addrNet, uint16_t portNet);
int Connect(uintptr_t s, uint32_t addrNet, uint16_t portNet);
long Send(uintptr_t s, const void *buf, long len);
long Recv(uintptr_t s, void *buf, long len, bool peek);
int Shutdown(uintptr_t s, int how);
int SetLinger(uintptr_t s, bool on, int seconds);
int SetReuseAddr(uintptr_t s, bool on);
int SetNoDelay(uintptr_t s, bool on);
int SetNonBlocking(uintptr_t s, bool on);
int Close(uintptr_t s);

// select: the three lists are rewritten with the ready sockets; counts in and out.
// timeoutMs < 0: no limit.
int Select(uintptr_t *readList, unsigned *readCount, uintptr_t *writeList, unsigned *writeCount,
           uintptr_t *exceptList, unsigned *exceptCount, long long timeoutMs);

// Name services. Lookup fills up to max addresses (network order). ParseAddress is
// inet_addr's parser: false for a text that is no address.
bool ParseAddress(const char *text, uint32_t *addrNet);
int LookupHost(const char *name, uint32_t *addrs, int max);
bool ServiceByPort(uint16_t portNet, const char *proto, char *name, int nameSize, char *protoOut,
                   int protoSize);
int HostName(char *out, int capacity);  // 0, or a negated WSAE* code

// Asynchronous lookups: the filler writes a host entry for name into buffer and returns
// the size it needs. StartLookup returns a handle, or 0 with *error set; the answer is
// posted to window. CancelLookup returns 0, or a negated WSAE* code.
typedef int (*HostentFiller)(char *buffer, int length, const char *name, const uint32_t *addrs, int count);
uintptr_t StartLookup(void *window, unsigned message, const char *name, char *buffer, int length,
                      HostentFiller fill, int *error);
int CancelLookup(uintptr_t handle);

}  // namespace qvws

#endif
