#include "job_control.h"

#include "../monitor/monitor_state.h"
#include "../monitor/text.h"
#include "../monitor/trace.h"

#include <winspool.h>

namespace {

// Fetches the job's JOB_INFO_2 into a fresh block (freed by the caller), or null.
JOB_INFO_2A *ReadJobRecord(PortRecord *record, DWORD jobId) {
    DWORD needed = 0;
    EnterMonitorLock();
    GetJobA(record->printer, jobId, 2, 0, 0, &needed);
    LeaveMonitorLock();
    if (needed == 0 || needed > JOB_RECORD_LIMIT) return 0;
    JOB_INFO_2A *job = (JOB_INFO_2A *)AllocZeroed(needed);
    if (!job) return 0;
    EnterMonitorLock();
    BOOL ok = GetJobA(record->printer, jobId, 2, (LPBYTE)job, needed, &needed);
    LeaveMonitorLock();
    if (!ok) {
        FreeBlock(job);
        return 0;
    }
    return job;
}

enum JobOperation { OpGetStatus, OpSetText, OpTestStatus };

struct OperationArgs {
    DWORD *status;
    const char *text;
    int *hit;
};

int RunOnce(PortRecord *record, JobOperation op, OperationArgs &args, DWORD jobId) {
    switch (op) {
        case OpGetStatus: return GetJobStatus(record, args.status, jobId);
        case OpSetText: return SetJobStatusText(record, args.text, jobId);
        default: return TestJobStatus(record, args.status, args.hit, jobId);
    }
}

// Tries the job's own id, then the job printing on the same printer, pausing 200 ms
// between tries; tries 0 means no limit.
int RetryPattern(PortRecord *record, JobOperation op, OperationArgs &args, int tries) {
    for (int made = 0;;) {
        if (RunOnce(record, op, args, record->jobId)) return 1;
        DWORD printing = FindPrintingJob(record);
        if (printing && RunOnce(record, op, args, printing)) return 1;
        ++made;
        if (tries != 0 && made >= tries) return 0;
        Sleep(200);
    }
}

}  // namespace

int GetJobStatus(PortRecord *record, DWORD *status, DWORD jobId) {
    Sleep(0);
    JOB_INFO_2A *job = ReadJobRecord(record, jobId);
    if (!job) return 0;
    *status = job->Status;
    FreeBlock(job);
    return 1;
}

int TestJobStatus(PortRecord *record, DWORD *maskStatus, int *hit, DWORD jobId) {
    Sleep(0);
    JOB_INFO_2A *job = ReadJobRecord(record, jobId);
    if (!job) return 0;
    if (job->Status & *maskStatus) *hit = 1;
    *maskStatus = job->Status;
    FreeBlock(job);
    return 1;
}

int SetJobStatusText(PortRecord *record, const char *text, DWORD jobId) {
    JOB_INFO_2A *job = ReadJobRecord(record, jobId);
    if (!job) return 0;
    Sleep(0);
    char statusText[STATUS_TEXT_SIZE];
    CopyText(statusText, sizeof statusText, text);
    job->pStatus = statusText;
    EnterMonitorLock();
    BOOL written = SetJobA(record->printer, jobId, 2, (LPBYTE)job, 0);
    LeaveMonitorLock();
    if (written) RefreshQueueWindow(record);
    Sleep(0);
    FreeBlock(job);
    return 1;
}

int GetJobStatusRetry(PortRecord *record, DWORD *status, int tries) {
    OperationArgs args = {status, 0, 0};
    return RetryPattern(record, OpGetStatus, args, tries);
}

int SetJobStatusTextRetry(PortRecord *record, const char *text, int tries) {
    OperationArgs args = {0, text, 0};
    int set = RetryPattern(record, OpSetText, args, tries);
    Trace(record, set ? "status text \"%s\"" : "status text \"%s\" not set: the job is not in the spooler",
          text);
    return set;
}

int TestJobStatusRetry(PortRecord *record, DWORD *maskStatus, int *hit, int tries) {
    // A failed try leaves the mask in place, so every try tests the caller's mask.
    OperationArgs args = {maskStatus, 0, hit};
    return RetryPattern(record, OpTestStatus, args, tries);
}

DWORD FindPrintingJob(PortRecord *record) {
    for (DWORD position = 0;; ++position) {
        Sleep(0);
        DWORD needed = 0, returned = 0;
        EnterMonitorLock();
        EnumJobsA(record->printer, position, 1, 2, 0, 0, &needed, &returned);
        LeaveMonitorLock();
        if (needed == 0 || needed > JOB_RECORD_LIMIT) return 0;
        JOB_INFO_2A *job = (JOB_INFO_2A *)AllocZeroed(needed);
        if (!job) return 0;
        EnterMonitorLock();
        BOOL ok = EnumJobsA(record->printer, position, 1, 2, (LPBYTE)job, needed, &needed, &returned);
        LeaveMonitorLock();
        DWORD jobId = ok && returned ? job->JobId : 0;
        FreeBlock(job);
        if (!jobId) return 0;
        DWORD status = 0;
        if (!GetJobStatus(record, &status, jobId)) return 0;
        if (status & JOB_STATUS_PRINTING) return jobId;
    }
}

int ControlJob(PortRecord *record, DWORD command) {
    Sleep(0);
    EnterMonitorLock();
    BOOL done = SetJobA(record->printer, record->jobId, 0, 0, command);
    LeaveMonitorLock();
    if (!done) {
        DWORD printing = FindPrintingJob(record);
        if (printing) {
            EnterMonitorLock();
            done = SetJobA(record->printer, printing, 0, 0, command);
            LeaveMonitorLock();
        }
    }
    if (done) RefreshQueueWindow(record);
    Trace(record, "spooler command %lu%s: %s", (unsigned long)command,
          command == JOB_CONTROL_PAUSE ? " (pause the job)" : "", done ? "done" : "refused");
    Sleep(0);
    return 1;
}

int RefreshQueueWindow(PortRecord *record) {
    if (!record->printerName) return 0;
    HWND window = FindWindowA(0, record->printerName);
    if (!window) {
        char title[STATUS_TEXT_SIZE];
        CopyText(title, sizeof title, record->printerName);
        // A name too long for the paused title cannot have such a window.
        if (!AppendText(title, sizeof title, " - Paused")) return 0;
        window = FindWindowA(0, title);
        if (!window) return 0;
    }
    PostMessageA(window, WM_KEYDOWN, VK_F5, 1);
    return 1;
}
