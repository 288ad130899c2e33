// The rules of the Windows 95 spooler that the monitor can tell, written once for both of
// our spoolers: the host's (host/src/spooler.cpp, jobs in SQLite) and the stand-in that
// Wine loads (host/win32, jobs in its process). How a SetJob command changes a job, which
// SetJob levels carry a status text, how job and port records are packed into a caller's
// buffer and the Enum calls' buffer rules, and the ports listed before any monitor's.
// Plain Win32 C++ with no C or C++ library, so that the host build and MinGW compile it.
#ifndef QVLMR_SPOOLER_CORE_H
#define QVLMR_SPOOLER_CORE_H

#include <windows.h>
#include <winspool.h>

// A SetJob command's effect on the job: status bits set and cleared, or the job leaving
// the queue (reported sent to the printer). FALSE for a command the spooler does not take.
struct JobChange {
    DWORD set, clear;
    BOOL leavesQueue;
};
BOOL JobCommandChange(DWORD command, JobChange *change);

// The status text of a SetJob record (levels 1 and 2 carry one, level 0 none), null for
// none; FALSE for a level SetJob does not take.
BOOL SetJobStatusText(DWORD level, LPBYTE record, const char **text);

// Fills records from the front of a caller's buffer and their texts from its back.
struct RecordPacker {
    LPBYTE end;
};
void StartPacking(RecordPacker *pk, LPBYTE buffer, DWORD size);
LPSTR PackText(RecordPacker *pk, const char *text);

// The Enum and Get calls' buffer rule: *needed is always set; a buffer too small (or none
// where bytes are needed) fails with ERROR_INSUFFICIENT_BUFFER and *returned 0.
BOOL CheckRecordBuffer(LPBYTE buffer, DWORD size, DWORD need, LPDWORD needed, LPDWORD returned);

struct JobFields {
    DWORD id, status;
    const char *printer, *machine, *user, *document, *driver;
    const char *statusText;  // "" for none: the record's pStatus is then null
    SYSTEMTIME submitted;
};
DWORD JobRecordSize(const JobFields *job);
// JOB_INFO_2A records, positions counted from first + 1; FALSE when the buffer is short.
BOOL PackJobRecords(const JobFields *jobs, DWORD count, DWORD first, LPBYTE buffer, DWORD size,
                    LPDWORD needed, LPDWORD returned);

struct PrinterFields {
    const char *name, *port, *driver;
    DWORD status, jobs;
};
// PRINTER_INFO_2A records; FALSE when the buffer is short.
BOOL PackPrinterRecords(const PrinterFields *printers, DWORD count, LPBYTE buffer, DWORD size, LPDWORD needed,
                        LPDWORD returned);

struct PortFields {
    const char *name, *monitor, *description;
};
// The ports the spooler lists before any monitor's.
extern const PortFields kBuiltInPorts[];
extern const DWORD kBuiltInPortCount;
// The level at which the spooler asks each monitor's EnumPorts: names with the monitor's
// own monitor name and description.
#define MONITOR_PORTS_LEVEL 2
// PORT_INFO_1A or PORT_INFO_2A records; FALSE for another level or a short buffer.
BOOL PackPortRecords(DWORD level, const PortFields *ports, DWORD count, LPBYTE buffer, DWORD size,
                     LPDWORD needed, LPDWORD returned);

#endif
