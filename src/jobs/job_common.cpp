#include "job_common.h"

#include "../config/settings.h"
#include "../monitor/monitor_state.h"
#include "../monitor/text.h"
#include "../monitor/trace.h"
#include "../net/outcome.h"
#include "../net/tcp_connection.h"
#include "job_control.h"
#include "spool_directory.h"

#include <winspool.h>

BOOL AttemptGoesOn(int result) {
    return result == ATTEMPT_RETRY_LATER || result == ATTEMPT_RESUMED || result == ATTEMPT_RETRY_NOW;
}

DWORD NextDeliveryWait(DWORD wait, int result) {
    if (result == ATTEMPT_RETRY_LATER) {
        wait *= 2;
        if (wait > LONGEST_DELIVERY_WAIT) wait = FIRST_DELIVERY_WAIT;
        return wait;
    }
    if (result == ATTEMPT_RESUMED || result == ATTEMPT_RETRY_NOW) return FIRST_DELIVERY_WAIT;
    return wait;
}

BOOL BeginJob(PortRecord *record, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
    record->docInfoLevel = level;
    record->printer = 0;
    record->printerName = DuplicateString(printerName);
    record->jobFile = INVALID_HANDLE_VALUE;
    if (!record->printerName || !docInfo || !((DOC_INFO_1A *)docInfo)->pDocName) return FALSE;
    BOOL opened = FALSE;
    for (int tries = 0; tries < PRINTER_OPEN_TRIES && !opened; ++tries) {
        Sleep(PRINTER_OPEN_PAUSE);
        HANDLE printer = 0;
        EnterMonitorLock();
        opened = OpenPrinterA(record->printerName, &printer, 0);
        LeaveMonitorLock();
        if (opened) record->printer = printer;
    }
    Sleep(0);
    if (!opened) {
        TraceForJob(record, jobId, "printer \"%s\" could not be opened in the spooler (%d tries)",
                    record->printerName, PRINTER_OPEN_TRIES);
        return FALSE;
    }
    record->jobId = jobId;
    EnterMonitorLock();
    ReadPrinterAddress(record);
    record->statusInterval = 1000;
    record->statusTick = GetTickCount();
    LeaveMonitorLock();
    ResetJobFields(record);
    return TRUE;
}

void ReadPrinterAddress(PortRecord *record) {
    ReadPortAddress(record->portName, record->hostAddress);
    if (ReadPortQueue(record->portName, record->queueName) != 0 || !record->queueName[0])
        CopyText(record->queueName, TEXT_FIELD_SIZE, record->portName);
}

void ResetJobFields(PortRecord *record) {
    record->errorClass = 0;
    record->errorCode = 0;
    record->jobNumber = 0;
    record->socket = INVALID_SOCKET;
    record->localPort = HIGHEST_LOCAL_PORT;
    record->dataFileName[0] = 0;
    record->controlFileName[0] = 0;
    record->hostName[0] = 0;
    CopyText(record->printFormat, TEXT_FIELD_SIZE, "l");
}

void FillUserAndHost(PortRecord *record) {
    DWORD size = TEXT_FIELD_SIZE;
    if (!GetUserNameA(record->userName, &size)) record->userName[0] = 0;
    record->userName[TEXT_FIELD_SIZE - 1] = 0;
    size = TEXT_FIELD_SIZE;
    if (!GetComputerNameA(record->hostName, &size)) CopyText(record->hostName, TEXT_FIELD_SIZE, "unknown");
    record->hostName[TEXT_FIELD_SIZE - 1] = 0;
}

void CopyDocumentName(PortRecord *record, LPBYTE docInfo) {
    // Longer names are cut to the field; the control file uses at most 131 bytes anyway.
    CopyText(record->documentName, DOCUMENT_NAME_SIZE, ((DOC_INFO_1A *)docInfo)->pDocName);
}

BOOL TakeJobNumber(PortRecord *record) {
    EnterMonitorLock();
    record->jobNumber = NextJobNumber();
    LeaveMonitorLock();
    char number[4];
    FormatJobNumber(number, record->jobNumber);
    CopyText(record->jobBaseName, TEXT_FIELD_SIZE, "QVLMR");
    return AppendText(record->jobBaseName, TEXT_FIELD_SIZE, number);
}

void SetDocumentStarted(PortRecord *record, BOOL started) {
    EnterMonitorLock();
    if (started)
        record->flags |= PORT_FLAG_DOC_STARTED;
    else
        record->flags &= ~(DWORD)PORT_FLAG_DOC_STARTED;
    LeaveMonitorLock();
}

void ReleasePrinter(PortRecord *record) {
    if (record->printer) ClosePrinter(record->printer);
    record->printer = 0;
    FreeBlock(record->printerName);
    record->printerName = 0;
}

void ReportJobSent(PortRecord *record) {
    EnterMonitorLock();
    BOOL told = SetJobA(record->printer, record->jobId, 0, 0, JOB_CONTROL_SENT_TO_PRINTER);
    LeaveMonitorLock();
    Trace(record, told ? "job reported to the spooler as sent to the printer"
                       : "the spooler did not take the job's report as sent to the printer");
}

void TraceAttemptOutcome(PortRecord *record) {
    if (record->errorClass == CLASS_NONE)
        Trace(record, "attempt succeeded");
    else
        Trace(record, "attempt failed: %s (class %lu, code %ld)",
              OutcomeWords(record->errorClass, record->errorCode), (unsigned long)record->errorClass,
              (long)record->errorCode);
}

FailureDecision DecideFailure(PortRecord *record) {
    FailureDecision d = {ActionResult, 0, ATTEMPT_DELIVERED};
    LONG code = record->errorCode;
    switch (record->errorClass) {
        case CLASS_FAILURE:
            if ((code >= CODE_NETWORK_FIRST && code <= CODE_HOST_NOT_FOUND) ||
                (code >= CODE_SEND_FAILED && code <= CODE_TRANSFER_LAST) ||
                (code >= CODE_OWN_NAME && code <= CODE_OWN_ADDRESS)) {
                d.action = ActionWait;
                d.text = TEXT_NETWORK_ERROR;
            } else if (code >= CODE_JOB_FILE_OPEN && code <= CODE_JOB_FILE_READ) {
                d.action = ActionHold;
                d.text = TEXT_SPOOL_ERROR;
            } else if (code == CODE_JOB_NOT_FOUND) {
                d.result = ATTEMPT_GIVE_UP;
            } else {
                d.action = ActionHold;
                d.text = TEXT_UNSPECIFIED_ERROR;
            }
            break;
        case CLASS_REFUSED:
            d.action = ActionWait;
            d.text = TEXT_SENDING;
            break;
        case CLASS_DELETING: d.result = ATTEMPT_DELETED; break;
        case CLASS_TIMEOUT: d.result = ATTEMPT_RETRY_NOW; break;
        case CLASS_PAUSED:
            d.action = ActionHold;
            d.text = TEXT_PAUSED;
            break;
        default: break;
    }
    return d;
}

int HoldForUser(PortRecord *record, const char *text, BOOL pauseJob) {
    Trace(record, pauseJob ? "holding the job, paused by the monitor, until the user resumes or deletes it"
                           : "holding the job until the user resumes or deletes it");
    if (pauseJob) ControlJob(record, JOB_CONTROL_PAUSE);
    if (text && !SetJobStatusTextRetry(record, text, JOB_TRIES)) return ATTEMPT_GIVE_UP;
    for (;;) {
        DWORD status = 0;
        if (!GetJobStatusRetry(record, &status, JOB_TRIES)) {
            Trace(record, "hold ended: the job is no longer in the spooler");
            return ATTEMPT_GIVE_UP;
        }
        if (status & JOB_STATUS_DELETING) {
            Trace(record, "hold ended: the user deleted the job");
            return ATTEMPT_DELETED;
        }
        if (!(status & JOB_STATUS_PAUSED)) {
            Trace(record, "hold ended: the user resumed the job; trying again at once");
            return ATTEMPT_RESUMED;
        }
        Sleep(1000);
    }
}

int WaitThenRetry(PortRecord *record, DWORD wait, const char *text) {
    Trace(record, "waiting %lu s before the next try", (unsigned long)wait);
    int outcome = PauseWithJobCheck(record, (int)wait, JOB_TRIES);
    if (outcome == WAIT_JOB_DELETING) return ATTEMPT_DELETED;
    if (outcome == WAIT_JOB_NOT_FOUND) return ATTEMPT_GIVE_UP;
    if (outcome == WAIT_TIME_PASSED) return ATTEMPT_RETRY_LATER;
    // The user paused the job during the wait: hold it until resumed or deleted.
    return HoldForUser(record, text ? TEXT_PAUSED : 0, FALSE);
}
