// The control side of the spooler stand-in (WINSPOOL.DRV of host/win32): what the Windows
// 95 spooler and its user do to jobs, for the smoke harness. The monitor itself sees only
// the ordinary WINSPOOL calls. The harness reaches these by GetProcAddress on the loaded
// WINSPOOL.DRV, so it links against no import library of the stand-in.
#ifndef QVLMR_SPOOLER_STANDIN_H
#define QVLMR_SPOOLER_STANDIN_H

#include <windows.h>

typedef BOOL(WINAPI *MonitorEnumPortsFn)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);

extern "C" {
// A printer on a port; TRUE when added (or already there with that port).
typedef BOOL(WINAPI *QvAddPrinterFn)(LPCSTR name, LPCSTR port);
// Removes the printer (and its record in the registry); FALSE when there is none.
typedef BOOL(WINAPI *QvDeletePrinterFn)(LPCSTR name);
// Queues a job on the printer, marked printing as the spooler marks the job it feeds to the
// monitor; its id, 0 when the printer does not exist.
typedef DWORD(WINAPI *QvAddJobFn)(LPCSTR printer, LPCSTR document);
// JOB_CONTROL_PAUSE, _RESUME, _CANCEL as the user gives them in the queue window.
typedef BOOL(WINAPI *QvUserControlFn)(DWORD job, DWORD command);
// The job's status word and text; FALSE once the job has left the queue.
typedef BOOL(WINAPI *QvJobStateFn)(DWORD job, LPDWORD status, LPSTR text, DWORD textSize);
// Every status text the job took on, in order, each followed by '\n'; the length written.
typedef DWORD(WINAPI *QvStatusHistoryFn)(DWORD job, LPSTR buffer, DWORD size);
// TRUE once the monitor reported the job sent to the printer (it then left the queue).
typedef BOOL(WINAPI *QvJobSentFn)(DWORD job);
// The loaded monitor's EnumPorts, whose ports EnumPortsA lists after the built-in ones.
typedef void(WINAPI *QvRegisterMonitorFn)(MonitorEnumPortsFn enumPorts);
}

#endif
