/* Windows Sockets 1.1 subset for the host build, with Winsock's own types and values.
 * The functions carry their Winsock names in C++ but link to the host's own symbols
 * (qvws_*), so they never collide with the POSIX functions of the same name. */
#ifndef QVLMR_HOST_WINSOCK_H
#define QVLMR_HOST_WINSOCK_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QVWS(name) __asm__("qvws_" #name)

typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;
typedef uint32_t u_long; /* 32 bits, as on Win32 */
typedef UINT_PTR SOCKET;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define FD_SETSIZE 64
typedef struct fd_set {
    u_int fd_count;
    SOCKET fd_array[FD_SETSIZE];
} fd_set;

int WSAAPI __WSAFDIsSet(SOCKET s, fd_set *set);
#define FD_ZERO(set) (((fd_set *)(set))->fd_count = 0)
#define FD_ISSET(s, set) __WSAFDIsSet((SOCKET)(s), (fd_set *)(set))
#define FD_SET(s, set)                                                 \
    do {                                                               \
        u_int i_;                                                      \
        for (i_ = 0; i_ < ((fd_set *)(set))->fd_count; ++i_)           \
            if (((fd_set *)(set))->fd_array[i_] == (SOCKET)(s)) break; \
        if (i_ == ((fd_set *)(set))->fd_count && i_ < FD_SETSIZE) {    \
            ((fd_set *)(set))->fd_array[i_] = (SOCKET)(s);             \
            ((fd_set *)(set))->fd_count++;                             \
        }                                                              \
    } while (0)

struct timeval {
    long tv_sec;
    long tv_usec;
};

struct in_addr {
    union {
        struct {
            u_char s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        struct {
            u_short s_w1, s_w2;
        } S_un_w;
        u_long S_addr_;
    } S_un;
};
#define s_addr S_un.S_addr_

struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    short sin_family;
    u_short sin_port;
    struct in_addr sin_addr;
    char sin_zero[8];
};

struct hostent {
    char *h_name;
    char **h_aliases;
    short h_addrtype;
    short h_length;
    char **h_addr_list;
};
#define h_addr h_addr_list[0]

struct servent {
    char *s_name;
    char **s_aliases;
    short s_port;
    char *s_proto;
};

struct linger {
    u_short l_onoff;
    u_short l_linger;
};

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char *lpVendorInfo;
} WSADATA, *LPWSADATA;

#define AF_INET 2
#define PF_INET AF_INET
#define SOCK_STREAM 1
#define IPPROTO_TCP 6
#define TCP_NODELAY 0x0001
#define INADDR_ANY ((u_long)0x00000000)
#define INADDR_NONE 0xffffffff
#define INADDR_LOOPBACK 0x7f000001
#define SOL_SOCKET 0xffff
#define SO_LINGER 0x0080
#define SO_REUSEADDR 0x0004
#define FIONBIO 0x8004667EUL
#define MSG_PEEK 0x2

#define WSABASEERR 10000
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAEINPROGRESS 10036
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEMSGSIZE 10040
#define WSAENOPROTOOPT 10042
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTUNREACH 10065
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093
#define WSAHOST_NOT_FOUND 11001
#define WSANO_DATA 11004

int WSAAPI WSAStartup(WORD version, LPWSADATA data) QVWS(WSAStartup);
int WSAAPI WSACleanup(void) QVWS(WSACleanup);
int WSAAPI WSAGetLastError(void) QVWS(WSAGetLastError);
void WSAAPI WSASetLastError(int error) QVWS(WSASetLastError);
SOCKET WSAAPI socket(int af, int type, int protocol) QVWS(socket);
int WSAAPI bind(SOCKET s, const struct sockaddr *addr, int len) QVWS(bind);
int WSAAPI connect(SOCKET s, const struct sockaddr *addr, int len) QVWS(connect);
int WSAAPI select(int nfds, fd_set *readfds, fd_set *writefds, fd_set *exceptfds,
                  const struct timeval *timeout) QVWS(select);
int WSAAPI send(SOCKET s, const char *buf, int len, int flags) QVWS(send);
int WSAAPI recv(SOCKET s, char *buf, int len, int flags) QVWS(recv);
int WSAAPI shutdown(SOCKET s, int how) QVWS(shutdown);
int WSAAPI setsockopt(SOCKET s, int level, int name, const char *value, int len) QVWS(setsockopt);
int WSAAPI closesocket(SOCKET s) QVWS(closesocket);
int WSAAPI ioctlsocket(SOCKET s, long cmd, u_long *arg) QVWS(ioctlsocket);
u_short WSAAPI htons(u_short v) QVWS(htons);
u_short WSAAPI ntohs(u_short v) QVWS(ntohs);
u_long WSAAPI htonl(u_long v) QVWS(htonl);
u_long WSAAPI ntohl(u_long v) QVWS(ntohl);
u_long WSAAPI inet_addr(const char *text) QVWS(inet_addr);
struct hostent *WSAAPI gethostbyname(const char *name) QVWS(gethostbyname);
struct servent *WSAAPI getservbyport(int port, const char *proto) QVWS(getservbyport);
int WSAAPI gethostname(char *name, int len) QVWS(gethostname);
#define MAXGETHOSTSTRUCT 1024
#define WSAGETASYNCERROR(lParam) HIWORD(lParam)
HANDLE WSAAPI WSAAsyncGetHostByName(HWND window, u_int message, const char *name, char *buffer,
                                    int bufferLength) QVWS(WSAAsyncGetHostByName);
int WSAAPI WSACancelAsyncRequest(HANDLE request) QVWS(WSACancelAsyncRequest);

#ifdef __cplusplus
}
#endif

#endif
