#include "direct_job.h"

#include "../config/settings.h"
#include "../monitor/monitor_state.h"
#include "../net/lpr_transfer.h"
#include "../net/tcp_connection.h"
#include "job_common.h"
#include "job_control.h"
#include "spool_directory.h"

namespace {

// The raw port, read under MonitorLock by the caller; 9100 when missing.
void ReadRawPort(PortRecord *record) {
    DWORD port = 0;
    record->remotePort = ReadPortRawPort(record->portName, &port) == 0 ? port : RAW_DEFAULT_PORT;
}

}  // namespace

BOOL DirectStartDoc(PortRecord *record, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
    if (record->flags & PORT_FLAG_DOC_STARTED) return FALSE;
    if (BeginJob(record, printerName, jobId, level, docInfo)) {
        BOOL ready = TRUE;
        if (record->protocol == StreamedLpr) {
            record->remotePort = LPR_PORT;
            FillUserAndHost(record);
            ResolveSpoolDirectory(record->spoolDir);
            CopyDocumentName(record, docInfo);
            ready = TakeJobNumber(record);
        } else {
            EnterMonitorLock();
            ReadRawPort(record);
            LeaveMonitorLock();
        }
        DWORD wait = FIRST_DELIVERY_WAIT;
        while (ready) {
            int result = DirectConnectAttempt(record, wait);
            if (result == ATTEMPT_DELIVERED) {
                record->jobFile = SOCKET_AS_HANDLE(record->socket);
                break;
            }
            DirectFinish(record);
            if (!AttemptGoesOn(result)) break;
            wait = NextDeliveryWait(wait, result);
        }
    }
    if (record->jobFile == INVALID_HANDLE_VALUE) {
        ReleasePrinter(record);
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SetDocumentStarted(record, TRUE);
    return TRUE;
}

int DirectConnectAttempt(PortRecord *record, DWORD wait) {
    EnterMonitorLock();
    ReadPrinterAddress(record);
    if (record->protocol == RawTcp) ReadRawPort(record);
    LeaveMonitorLock();
    record->timeoutSeconds = 0;
    OpenDirectConnection(record);
    TraceAttemptOutcome(record);
    FailureDecision d = DecideFailure(record);
    if (d.action == ActionResult) return d.result;
    if (d.action == ActionWait && wait != 0) return WaitThenRetry(record, wait, 0);
    return HoldForUser(record, 0, TRUE);
}

BOOL DirectWrite(PortRecord *record, LPBYTE buffer, DWORD size, LPDWORD written) {
    if (!record->jobFile || record->jobFile == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // A count the send's int result can carry; the spooler writes the rest next.
    DWORD portion = size > 0x40000000 ? 0x40000000 : size;
    int sent = SendWithWait(record, (const char *)buffer, portion);
    if (sent > 0) {
        if (written) *written = (DWORD)sent;
        return TRUE;
    }
    if (written) *written = 0;
    SetLastError(ERROR_NET_WRITE_FAULT);
    return FALSE;
}

BOOL DirectEndDoc(PortRecord *record) {
    if (!(record->flags & PORT_FLAG_DOC_STARTED)) return FALSE;
    DirectFinish(record);
    if (record->docInfoLevel == 2) SetJobStatusTextRetry(record, TEXT_DELETING, JOB_TRIES);
    ReportJobSent(record);
    record->jobFile = INVALID_HANDLE_VALUE;
    ReleasePrinter(record);
    SetDocumentStarted(record, FALSE);
    return TRUE;
}

int DirectFinish(PortRecord *record) {
    CloseConnection(record);
    StoreNextLocalPort(record);
    if (record->protocol == StreamedLpr) {
        char path[MAX_PATH];
        if (BuildJobFilePath(path, record->spoolDir, record->jobBaseName, CONTROL_FILE_SUFFIX))
            DeleteFileA(path);
    }
    return 0;
}
