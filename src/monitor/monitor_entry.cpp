// The module entry, start-up, and the routing of job calls by protocol mode.
#include "../config/settings.h"
#include "../jobs/direct_job.h"
#include "../jobs/spool_directory.h"
#include "../jobs/spooled_lpr_job.h"
#include "../ui/port_setup.h"
#include "monitor_state.h"
#include "monitor_table.h"
#include "port_enum.h"
#include "port_record.h"
#include "trace.h"

namespace {

BOOL WINAPI StartDocPort(HANDLE port, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
    PortRecord *record = (PortRecord *)port;
    if (!record) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    EnterMonitorLock();
    ReadTraceSwitch(record);
    DWORD protocol = 0;
    if (ReadPortProtocol(record->portName, &protocol) != 0) protocol = SpooledLpr;
    record->protocol = (LONG)protocol;
    LeaveMonitorLock();
    TraceForJob(record, jobId, "StartDocPort: printer \"%s\", level %lu, mode %ld",
                printerName ? printerName : "", (unsigned long)level, (long)protocol);
    BOOL started = TRUE;
    if (record->protocol == SpooledLpr)
        started = SpooledStartDoc(record, printerName, jobId, level, docInfo);
    else if (record->protocol == StreamedLpr || record->protocol == RawTcp)
        started = DirectStartDoc(record, printerName, jobId, level, docInfo);
    else
        TraceForJob(record, jobId, "mode %ld is none of 1, 2, 3: the job is taken and not delivered",
                    (long)protocol);
    if (started) {
        record->bytesTaken = 0;
        TraceForJob(record, jobId, "StartDocPort: TRUE");
    } else {
        TraceForJob(record, jobId, "StartDocPort: FALSE, last error %lu", (unsigned long)GetLastError());
    }
    return started;
}

BOOL WINAPI WritePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written) {
    PortRecord *record = (PortRecord *)port;
    if (!record) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (record->protocol == SpooledLpr || record->protocol == StreamedLpr || record->protocol == RawTcp) {
        // The paths set the spooler's count themselves: a write with no document started
        // leaves it as it was, a failed send makes it 0.
        DWORD unused = 0;
        LPDWORD count = written ? written : &unused;
        BOOL ok = record->protocol == SpooledLpr ? SpooledWrite(record, buffer, size, count)
                                                 : DirectWrite(record, buffer, size, count);
        if (record->traceOn) {
            if (ok)
                record->bytesTaken += *count;
            else
                Trace(record, "WritePort of %lu bytes: FALSE after %lu, last error %lu", (unsigned long)size,
                      (unsigned long)record->bytesTaken, (unsigned long)GetLastError());
        }
        return ok;
    }
    // Nothing is delivered in other modes; the spooler is told the bytes were taken so it
    // does not resubmit them forever.
    if (written) *written = size;
    return TRUE;
}

BOOL WINAPI ReadPort(HANDLE port, LPBYTE, DWORD, LPDWORD) {
    PortRecord *record = (PortRecord *)port;
    if (!record) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (record->protocol >= SpooledLpr && record->protocol <= RawTcp) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI EndDocPort(HANDLE port) {
    PortRecord *record = (PortRecord *)port;
    if (!record) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Trace(record, "EndDocPort: %lu bytes taken from the spooler", (unsigned long)record->bytesTaken);
    BOOL ended = TRUE;
    if (record->protocol == SpooledLpr)
        ended = SpooledEndDoc(record);
    else if (record->protocol == StreamedLpr || record->protocol == RawTcp)
        ended = DirectEndDoc(record);
    Trace(record, ended ? "EndDocPort: TRUE" : "EndDocPort: FALSE (no document started)");
    return ended;
}

BOOL WINAPI GetPrinterDataFromPort(HANDLE, DWORD, LPSTR, LPSTR, DWORD, LPSTR, DWORD, LPDWORD) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL WINAPI SetPortTimeOuts(HANDLE, LPCOMMTIMEOUTS, DWORD) {
    return FALSE;
}

// A port that cannot get a record is left out without report.
void AddStoredPort(const char *portName) {
    CreatePortRecord(portName);
}

}  // namespace

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ModuleInstance = instance;
        InitMonitorLock();
        InitTrace();
        DisableThreadLibraryCalls((HMODULE)instance);
    }
    return TRUE;
}

extern "C" BOOL WINAPI InitializeMonitorEx(LPSTR, LPMONITOR monitor) {
    EnterMonitorLock();
    EnumerateStoredPorts(AddStoredPort);
    if (monitor) {
        monitor->pfnEnumPorts = EnumPorts;
        monitor->pfnOpenPort = OpenPort;
        monitor->pfnOpenPortEx = 0;
        monitor->pfnStartDocPort = StartDocPort;
        monitor->pfnWritePort = WritePort;
        monitor->pfnReadPort = ReadPort;
        monitor->pfnEndDocPort = EndDocPort;
        monitor->pfnClosePort = ClosePort;
        monitor->pfnAddPort = AddPort;
        monitor->pfnConfigurePort = ConfigurePort;
        monitor->pfnDeletePort = DeletePort;
        monitor->pfnGetPrinterDataFromPort = GetPrinterDataFromPort;
        monitor->pfnSetPortTimeOuts = SetPortTimeOuts;
    }
    char spoolDir[SPOOL_PATH_SIZE];
    ResolveSpoolDirectory(spoolDir);
    RemoveStaleJobFiles(spoolDir);
    LeaveMonitorLock();
    WSADATA data;
    return WSAStartup(0x0101, &data) == 0 ? TRUE : FALSE;
}
