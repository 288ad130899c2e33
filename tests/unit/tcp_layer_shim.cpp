#include "tcp_layer_shim.h"

#include <winspool.h>

#include "../../src/monitor/monitor_state.h"
#include "../../src/monitor/text.h"
#include "../../src/net/tcp_connection.h"

struct ShimRecord {
    PortRecord record;
    char name[8];
};

ShimRecord *ShimNew(const char *printer, unsigned jobId, const char *host, unsigned remotePort, int localPort,
                    int protocol) {
    static bool lockReady = false;
    if (!lockReady) {
        InitMonitorLock();
        lockReady = true;
    }
    ShimRecord *s = (ShimRecord *)AllocZeroed(sizeof(ShimRecord));
    PortRecord &r = s->record;
    r.portName = s->name;
    r.socket = INVALID_SOCKET;
    r.jobFile = INVALID_HANDLE_VALUE;
    r.printerName = DuplicateString(printer);
    OpenPrinterA(r.printerName, &r.printer, 0);
    r.jobId = jobId;
    CopyText(r.hostAddress, sizeof r.hostAddress, host);
    r.remotePort = remotePort;
    r.localPort = localPort;
    r.protocol = protocol;
    r.statusInterval = 1000;
    r.statusTick = GetTickCount();
    return s;
}

void ShimFree(ShimRecord *s) {
    if (s->record.socket != INVALID_SOCKET) CloseConnection(&s->record);
    ClosePrinter(s->record.printer);
    FreeBlock(s->record.printerName);
    FreeBlock(s);
}

long long ShimConnect(ShimRecord *s) {
    SOCKET sock = ConnectToPrinter(&s->record);
    return sock == INVALID_SOCKET ? -1 : (long long)sock;
}
void ShimClose(ShimRecord *s) {
    CloseConnection(&s->record);
}
int ShimReceive(ShimRecord *s, char *buffer, unsigned length, int timeoutSeconds) {
    s->record.timeoutSeconds = timeoutSeconds;
    int r = ReceiveWithWait(&s->record, buffer, length);
    s->record.timeoutSeconds = 0;
    return r;
}
int ShimSendAll(ShimRecord *s, const char *buffer, unsigned length) {
    return SendAll(&s->record, buffer, length);
}
int ShimPause(ShimRecord *s, int seconds, int tries) {
    return PauseWithJobCheck(&s->record, seconds, tries);
}
void ShimSetOutcome(ShimRecord *s, unsigned errorClass, int errorCode) {
    s->record.errorClass = errorClass;
    s->record.errorCode = errorCode;
}
unsigned ShimClass(ShimRecord *s) {
    return s->record.errorClass;
}
int ShimCode(ShimRecord *s) {
    return s->record.errorCode;
}
bool ShimHasSocket(ShimRecord *s) {
    return s->record.socket != INVALID_SOCKET;
}
int ShimLocalPort(ShimRecord *s) {
    return s->record.localPort;
}
