#include "port_record.h"

#include "../config/settings.h"
#include "monitor_state.h"
#include "text.h"
#include "trace.h"

PortRecord *PortList;

void *AllocZeroed(DWORD size) {
    return (void *)GlobalAlloc(GPTR, size);
}

void FreeBlock(void *block) {
    if (block) GlobalFree((HGLOBAL)block);
}

char *DuplicateString(const char *text) {
    if (!text) return 0;
    int length = TextLength(text);
    char *copy = (char *)AllocZeroed((DWORD)length + 1);
    if (copy) CopyBytes(copy, text, (DWORD)length + 1);
    return copy;
}

PortRecord *CreatePortRecord(const char *portName) {
    if (!portName) return 0;
    DWORD nameLength = (DWORD)TextLength(portName);
    DWORD size = (DWORD)sizeof(PortRecord) + nameLength + 1;
    PortRecord *record = (PortRecord *)AllocZeroed(size);
    if (!record) return 0;
    record->portName = (char *)(record + 1);
    CopyBytes(record->portName, portName, nameLength + 1);
    record->recordSize = size;
    record->next = 0;
    record->signature = PORT_RECORD_SIGNATURE;
    record->jobFile = INVALID_HANDLE_VALUE;
    record->socket = INVALID_SOCKET;
    if (!PortList) {
        PortList = record;
    } else {
        PortRecord *tail = PortList;
        while (tail->next) tail = tail->next;
        tail->next = record;
    }
    return record;
}

PortRecord *FindPortRecord(PortRecord *head, const char *portName) {
    if (!portName) return 0;
    for (PortRecord *r = head; r; r = r->next)
        if (lstrcmpiA(r->portName, portName) == 0) return r;
    return 0;
}

BOOL RemovePortRecord(const char *portName) {
    PortRecord *previous = 0;
    PortRecord *record = PortList;
    while (record && lstrcmpiA(record->portName, portName) != 0) {
        previous = record;
        record = record->next;
    }
    if (!record) return FALSE;
    if (record->flags & (PORT_FLAG_OPEN | PORT_FLAG_DOC_STARTED)) {
        // The spooler still holds this record as a port handle: freeing it now would pull
        // the job's state from under the thread printing on it.
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (previous)
        previous->next = record->next;
    else
        PortList = record->next;
    FreeBlock(record);
    DeletePortSettings(portName);
    return TRUE;
}

BOOL WINAPI OpenPort(LPSTR portName, PHANDLE handle) {
    EnterMonitorLock();
    PortRecord *record = FindPortRecord(PortList, portName);
    if (record) {
        record->flags |= PORT_FLAG_OPEN;
        if (handle) *handle = (HANDLE)record;
        ReadTraceSwitch(record);
    }
    LeaveMonitorLock();
    if (record) TraceForJob(record, 0, "OpenPort: TRUE");
    return record ? TRUE : FALSE;
}

BOOL WINAPI ClosePort(HANDLE handle) {
    PortRecord *record = (PortRecord *)handle;
    if (record) {
        TraceForJob(record, 0, "ClosePort");
        record->jobFile = INVALID_HANDLE_VALUE;
        record->flags &= ~(DWORD)PORT_FLAG_OPEN;
    }
    return TRUE;
}
