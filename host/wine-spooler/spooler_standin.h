// The control side of the spooler stand-in (WINSPOOL.DRV of host/wine-spooler): what the Windows
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
// How many times AddMonitorA was called, in any process of the spooler's.
typedef DWORD(WINAPI *QvAddMonitorCallsFn)(void);
}

// The controls of the WINSPOOL.DRV this process has loaded; false when it is not the
// stand-in (a control is missing).
struct SpoolerControls {
    QvAddPrinterFn addPrinter;
    QvDeletePrinterFn deletePrinter;
    QvAddJobFn addJob;
    QvUserControlFn control;
    QvJobStateFn state;
    QvStatusHistoryFn history;
    QvJobSentFn sent;
    QvRegisterMonitorFn registerMonitor;
    QvAddMonitorCallsFn addMonitorCalls;
};
template <class Fn>
bool FindControl(HMODULE standIn, const char *name, Fn *fn) {
    *fn = standIn ? (Fn)(void *)GetProcAddress(standIn, name) : nullptr;
    return *fn != nullptr;
}
inline bool FindSpoolerControls(SpoolerControls *c) {
    HMODULE s = GetModuleHandleA("WINSPOOL.DRV");
    bool found = FindControl(s, "QvAddPrinter", &c->addPrinter);
    found = FindControl(s, "QvDeletePrinter", &c->deletePrinter) && found;
    found = FindControl(s, "QvAddJob", &c->addJob) && found;
    found = FindControl(s, "QvUserControl", &c->control) && found;
    found = FindControl(s, "QvJobState", &c->state) && found;
    found = FindControl(s, "QvStatusHistory", &c->history) && found;
    found = FindControl(s, "QvJobSent", &c->sent) && found;
    found = FindControl(s, "QvRegisterMonitor", &c->registerMonitor) && found;
    return FindControl(s, "QvAddMonitorCalls", &c->addMonitorCalls) && found;
}

#endif
