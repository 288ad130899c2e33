#include "tcp_connection.h"

#include "../jobs/job_control.h"
#include "../monitor/text.h"
#include "../monitor/trace.h"

#include <winspool.h>

namespace {

// Maps a wait that ended on the job or the socket to the record's outcome pair.
void SetWaitOutcome(PortRecord *record, int outcome, LONG selectFailedCode) {
    switch (outcome) {
        case WAIT_JOB_DELETING: SetOutcome(record, CLASS_DELETING, CODE_JOB_DELETING); break;
        case WAIT_JOB_PAUSED: SetOutcome(record, CLASS_PAUSED, CODE_JOB_PAUSED); break;
        case WAIT_JOB_NOT_FOUND: SetOutcome(record, CLASS_FAILURE, CODE_JOB_NOT_FOUND); break;
        case WAIT_POLLS_USED: SetOutcome(record, CLASS_TIMEOUT, CODE_TIMEOUT); break;
        default: SetOutcome(record, CLASS_FAILURE, selectFailedCode); break;
    }
}

// One job-state check: 0 to go on, else the WaitOutcome that ends the wait.
int CheckJob(PortRecord *record, int tries) {
    DWORD status = JOB_STATUS_PAUSED | JOB_STATUS_DELETING;
    int hit = 0;
    if (!TestJobStatusRetry(record, &status, &hit, tries)) {
        Trace(record, "job check: the job is no longer in the spooler");
        return WAIT_JOB_NOT_FOUND;
    }
    if (!hit) return 0;
    BOOL deleting = (status & JOB_STATUS_DELETING) != 0;
    Trace(record,
          deleting ? "job check: the user is deleting the job" : "job check: the user paused the job");
    return deleting ? WAIT_JOB_DELETING : WAIT_JOB_PAUSED;
}

// select on the record's socket alone, in the write or the read set: the count of ready
// sockets (0 or 1), or SOCKET_ERROR.
int SelectOne(PortRecord *record, BOOL forWrite, struct timeval timeout) {
    fd_set set = {};
    FD_ZERO(&set);
    FD_SET(record->socket, &set);
    int ready = select((int)record->socket + 1, forWrite ? 0 : &set, forWrite ? &set : 0, 0, &timeout);
    if (ready > 0 && !FD_ISSET(record->socket, &set)) return 0;
    return ready;
}

int WaitOn(PortRecord *record, int maxPolls, BOOL forWrite) {
    struct timeval poll;
    poll.tv_sec = (long)record->waitSeconds;
    poll.tv_usec = (long)record->waitMicroseconds;
    int polls = 0;
    for (;;) {
        int stop = CheckJob(record, JOB_TRIES);
        if (stop) return stop;
        int ready = SelectOne(record, forWrite, poll);
        if (ready == SOCKET_ERROR) return WAIT_SELECT_FAILED;
        if (ready > 0) return WAIT_READY;
        if (maxPolls != 0 && ++polls >= maxPolls) return WAIT_POLLS_USED;
    }
}

// A blocked call before the next job check is due waits on its socket for the rest of the
// interval instead of being retried at once: a printer reads far slower than the network,
// and retrying would take the whole processor from the spooler's machine for as long as
// the printer reads. Returns select's result; a ready socket or the time passing both
// lead to the call being made again.
int WaitUntilCheckDue(PortRecord *record, DWORD now, BOOL forWrite) {
    DWORD elapsed = now - record->statusTick;
    DWORD left = record->statusInterval > elapsed ? record->statusInterval - elapsed : 0;
    struct timeval timeout;
    timeout.tv_sec = (long)(left / 1000);
    timeout.tv_usec = (long)(left % 1000) * 1000;
    return SelectOne(record, forWrite, timeout);
}

// Sends or receives the whole buffer on the non-blocking socket.
int TransferWithWait(PortRecord *record, char *buffer, DWORD length, BOOL sending) {
    int maxPolls = record->timeoutSeconds;
    LONG failCode = sending ? CODE_SEND_FAILED : CODE_RECEIVE_FAILED;
    record->waitMicroseconds = 0;
    record->waitSeconds = 1;
    int total = 0;
    if (length == 0) return 0;
    while (length > 0) {
        // Chunks stay within what one Winsock call takes.
        int chunk = length > 0x40000000 ? 0x40000000 : (int)length;
        int moved = sending ? send(record->socket, buffer, chunk, 0) : recv(record->socket, buffer, chunk, 0);
        if (moved == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                Trace(record, "%s failed, Winsock error %d", sending ? "send" : "receive", error);
                SetOutcome(record, CLASS_FAILURE, failCode);
                return -1;
            }
            // Only a blocked call takes the job check that has fallen due. The wait below
            // ends when the socket is ready or the check is due, so the call right after it
            // usually succeeds; were the check spent on that call, a printer that keeps
            // reading slowly would never have its job looked at, and a pause or delete
            // would wait for the whole document. Taken here, the check comes at the first
            // blocked call at or after the due time, which a slow printer reaches within
            // moments of it; a transfer that never blocks still makes none.
            DWORD now = GetTickCount();
            BOOL checkDue = now < record->statusTick || now - record->statusTick >= record->statusInterval;
            if (checkDue) {
                record->statusTick = now;
                int outcome = sending ? WaitWritable(record, maxPolls) : WaitReadable(record, maxPolls);
                if (outcome != WAIT_READY) {
                    if (outcome == WAIT_POLLS_USED)
                        Trace(record, "no answer from the printer in %d one-second polls", maxPolls);
                    SetWaitOutcome(record, outcome, failCode);
                    return -1;
                }
            } else if (WaitUntilCheckDue(record, now, sending) == SOCKET_ERROR) {
                SetOutcome(record, CLASS_FAILURE, failCode);
                return -1;
            }
            continue;
        }
        if (moved == 0) {
            Trace(record, "the printer closed its side of the connection");
            SetOutcome(record, CLASS_FAILURE, failCode);
            return 0;
        }
        buffer += moved;
        length -= (DWORD)moved;
        total += moved;
    }
    return total;
}

}  // namespace

int WaitWritable(PortRecord *record, int maxPolls) {
    return WaitOn(record, maxPolls, TRUE);
}
int WaitReadable(PortRecord *record, int maxPolls) {
    return WaitOn(record, maxPolls, FALSE);
}

int PauseWithJobCheck(PortRecord *record, int seconds, int tries) {
    if (seconds < 1) return WAIT_TIME_PASSED;
    for (int i = 0; i < seconds; ++i) {
        int stop = CheckJob(record, tries);
        if (stop) return stop;
        Sleep(1000);
    }
    return WAIT_TIME_PASSED;
}

SOCKET ConnectToPrinter(PortRecord *record) {
    struct sockaddr_in remote;
    FillBytes(&remote, 0, sizeof remote);
    remote.sin_family = AF_INET;
    remote.sin_port = htons((u_short)record->remotePort);
    remote.sin_addr.s_addr = inet_addr(record->hostAddress);
    if (remote.sin_addr.s_addr == INADDR_NONE) {
        struct hostent *host = gethostbyname(record->hostAddress);
        if (!host || !host->h_addr_list || !host->h_addr_list[0]) {
            Trace(record, "printer address \"%s\" not found, Winsock error %d", record->hostAddress,
                  WSAGetLastError());
            SetOutcome(record, CLASS_FAILURE, CODE_HOST_NOT_FOUND);
            return INVALID_SOCKET;
        }
        CopyBytes(&remote.sin_addr.s_addr, host->h_addr_list[0], 4);
    }
    struct sockaddr_in local;
    FillBytes(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = INADDR_ANY;
    record->waitSeconds = 1;
    record->waitMicroseconds = 0;
    const BYTE *octets = (const BYTE *)&remote.sin_addr.s_addr;
    Trace(record, "connecting to \"%s\" = %u.%u.%u.%u port %lu", record->hostAddress, octets[0], octets[1],
          octets[2], octets[3], (unsigned long)record->remotePort);
    for (;;) {
        BOOL usable = getservbyport(htons((u_short)record->localPort), "tcp") == 0;
        if (!usable) Trace(record, "local port %ld skipped: a known service's port", (long)record->localPort);
        if (usable) {
            record->socket = INVALID_SOCKET;
            SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
            if (s == INVALID_SOCKET) {
                Trace(record, "no socket, Winsock error %d", WSAGetLastError());
                SetOutcome(record, CLASS_FAILURE, CODE_NO_SOCKET);
                return INVALID_SOCKET;
            }
            record->socket = s;
            u_long nonBlocking = 1;
            ioctlsocket(s, (long)FIONBIO, &nonBlocking);
            // A departure from connections with no socket option set (docs/architecture.md),
            // on raw connections too. Nagle's algorithm off: an LPD exchange is small writes each waiting for
            // the printer's answer, and the last partial segment of a file (with its ending zero) would
            // otherwise wait for the printer's delayed acknowledgement of the segments before it: 40 ms a job
            // on Linux's LPD servers, 200 ms on many printers. Measured on 1 MiB over loopback with 64 KiB
            // segments, mode 1 moved 10.9 MiB/s before, 21 with the zero sent with the file's last bytes and
            // 168 with Nagle's algorithm off too; with Ethernet-sized segments the zero alone removed the
            // stalls measured (docs/benchmarks.md). A failure here changes nothing but the speed.
            BOOL noDelay = TRUE;
            setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char *)&noDelay, sizeof noDelay);
            local.sin_port = htons((u_short)record->localPort);
            int error = 0;
            if (bind(s, (struct sockaddr *)&local, sizeof local) == SOCKET_ERROR) {
                Trace(record, "local port %ld not available, Winsock error %d; the next in a second",
                      (long)record->localPort, WSAGetLastError());
                CloseConnection(record);
            } else if (connect(s, (struct sockaddr *)&remote, sizeof remote) == 0) {
                Trace(record, "connected from local port %ld", (long)record->localPort);
                SetOutcome(record, CLASS_NONE, 0);
                return s;
            } else if ((error = WSAGetLastError()) == WSAEWOULDBLOCK) {
                int outcome = WaitWritable(record, 1);
                if (outcome == WAIT_READY) {
                    Trace(record, "connected from local port %ld", (long)record->localPort);
                    SetOutcome(record, CLASS_NONE, 0);
                    return s;
                }
                if (outcome == WAIT_TIME_PASSED || outcome == WAIT_POLLS_USED ||
                    outcome == WAIT_SELECT_FAILED)
                    Trace(record, "no connection from local port %ld within a second (refused, or no answer)",
                          (long)record->localPort);
                if (outcome == WAIT_JOB_DELETING || outcome == WAIT_JOB_PAUSED ||
                    outcome == WAIT_JOB_NOT_FOUND)
                    SetWaitOutcome(record, outcome, CODE_NOT_CONNECTED);
                else
                    SetOutcome(record, CLASS_FAILURE, CODE_NOT_CONNECTED);
                return INVALID_SOCKET;  // the socket stays for the caller to close
            } else {
                Trace(record,
                      "connect from local port %ld failed at once, Winsock error %d; the next in a second",
                      (long)record->localPort, error);
                CloseConnection(record);
            }
        }
        int outcome = PauseWithJobCheck(record, 1, JOB_TRIES);
        if (outcome != WAIT_TIME_PASSED) {
            SetWaitOutcome(record, outcome, CODE_NOT_CONNECTED);
            return INVALID_SOCKET;
        }
        record->localPort -= 1;
        if (record->localPort < LOWEST_LOCAL_PORT) record->localPort = HIGHEST_LOCAL_PORT;
    }
}

int CloseConnection(PortRecord *record) {
    SOCKET s = record->socket;
    if (s == INVALID_SOCKET) return 0;
    shutdown(s, SHUTDOWN_SEND);
    if (record->protocol == RawTcp) {
        // Read the printer's output away until it closes its side.
        DWORD keptClass = record->errorClass;
        LONG keptCode = record->errorCode;
        char discard[128];
        while (ReceiveAll(record, discard, sizeof discard) != -1) {
        }
        record->errorClass = keptClass;
        record->errorCode = keptCode;
    }
    shutdown(s, SHUTDOWN_BOTH);
    u_long blocking = 0;
    ioctlsocket(s, (long)FIONBIO, &blocking);
    Trace(record, record->errorClass != CLASS_NONE ? "connection reset" : "connection closed");
    if (record->errorClass != CLASS_NONE) {
        struct linger reset;
        reset.l_onoff = 1;
        reset.l_linger = 0;
        setsockopt(s, SOL_SOCKET, SO_LINGER, (const char *)&reset, sizeof reset);
    }
    closesocket(s);
    record->socket = INVALID_SOCKET;
    return 0;
}

int SendWithWait(PortRecord *record, const char *buffer, DWORD length) {
    return TransferWithWait(record, (char *)buffer, length, TRUE);
}

int ReceiveWithWait(PortRecord *record, char *buffer, DWORD length) {
    return TransferWithWait(record, buffer, length, FALSE);
}

int SendAll(PortRecord *record, const char *buffer, DWORD length) {
    return SendWithWait(record, buffer, length) > 0 ? 0 : -1;
}

int ReceiveAll(PortRecord *record, char *buffer, DWORD length) {
    return ReceiveWithWait(record, buffer, length) > 0 ? 0 : -1;
}
