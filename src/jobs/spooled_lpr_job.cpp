#include "spooled_lpr_job.h"

#include "../monitor/monitor_state.h"
#include "../monitor/text.h"
#include "../net/lpr_transfer.h"
#include "../net/tcp_connection.h"
#include "job_common.h"
#include "job_control.h"
#include "spool_directory.h"

#include <winspool.h>

namespace {

BOOL FailStart(PortRecord *record) {
    ReleasePrinter(record);
    return FALSE;
}

void DeleteJobFiles(PortRecord *record) {
    char path[MAX_PATH];
    if (BuildJobFilePath(path, record->spoolDir, record->jobBaseName, CONTROL_FILE_SUFFIX)) DeleteFileA(path);
    if (BuildJobFilePath(path, record->spoolDir, record->jobBaseName, DATA_FILE_SUFFIX)) DeleteFileA(path);
}

void RunDeliveryLoop(PortRecord *record) {
    DWORD wait = FIRST_DELIVERY_WAIT;
    for (;;) {
        if (!SetJobStatusTextRetry(record, TEXT_SENDING, JOB_TRIES)) return;
        int result = SpooledSendAttempt(record, wait);
        if (!AttemptGoesOn(result)) return;
        wait = NextDeliveryWait(wait, result);
    }
}

}  // namespace

BOOL SpooledStartDoc(PortRecord *record, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
    if (record->flags & PORT_FLAG_DOC_STARTED) return FALSE;
    if (!BeginJob(record, printerName, jobId, level, docInfo)) return FailStart(record);
    record->remotePort = LPR_PORT;
    FillUserAndHost(record);
    ResolveSpoolDirectory(record->spoolDir);
    CopyDocumentName(record, docInfo);
    if (!TakeJobNumber(record)) return FailStart(record);
    char path[MAX_PATH];
    if (BuildJobFilePath(path, record->spoolDir, record->jobBaseName, DATA_FILE_SUFFIX)) {
        record->jobFile = CreateFileA(path, GENERIC_WRITE, 0, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
        // An old file of the same number is emptied.
        if (record->jobFile != INVALID_HANDLE_VALUE) SetEndOfFile(record->jobFile);
    }
    if (record->jobFile == INVALID_HANDLE_VALUE) return FailStart(record);
    SetDocumentStarted(record, TRUE);
    return TRUE;
}

BOOL SpooledWrite(PortRecord *record, LPBYTE buffer, DWORD size, LPDWORD written) {
    if (!record->jobFile || record->jobFile == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return WriteFile(record->jobFile, buffer, size, written, 0);
}

BOOL SpooledEndDoc(PortRecord *record) {
    if (!(record->flags & PORT_FLAG_DOC_STARTED)) return FALSE;
    FlushFileBuffers(record->jobFile);
    CloseHandle(record->jobFile);
    record->jobFile = INVALID_HANDLE_VALUE;
    if (record->docInfoLevel == 2) {
        DWORD status = 0;
        if (GetJobStatusRetry(record, &status, JOB_TRIES) &&
            !(status & (JOB_STATUS_ERROR | JOB_STATUS_DELETING | JOB_STATUS_DELETED)))
            RunDeliveryLoop(record);
        SetJobStatusTextRetry(record, TEXT_DELETING, JOB_TRIES);
    } else if (record->docInfoLevel == 1) {
        // Level 1 is sent once, with no retries and no status texts.
        DeliverSpooledLprJob(record);
        TraceAttemptOutcome(record);
    }
    DeleteJobFiles(record);
    ReportJobSent(record);
    ReleasePrinter(record);
    SetDocumentStarted(record, FALSE);
    return TRUE;
}

int SpooledSendAttempt(PortRecord *record, DWORD wait) {
    EnterMonitorLock();
    ReadPrinterAddress(record);
    LeaveMonitorLock();
    record->timeoutSeconds = 0;
    if (!SetJobStatusTextRetry(record, TEXT_SENDING, JOB_TRIES)) return ATTEMPT_GIVE_UP;
    DeliverSpooledLprJob(record);
    TraceAttemptOutcome(record);
    FailureDecision d = DecideFailure(record);
    if (d.action == ActionResult) return d.result;
    if (d.action == ActionWait && wait != 0) {
        if (!SetJobStatusTextRetry(record, d.text, JOB_TRIES)) return ATTEMPT_GIVE_UP;
        return WaitThenRetry(record, wait, d.text);
    }
    return HoldForUser(record, d.text, TRUE);
}
