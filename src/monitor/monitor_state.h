// Module-wide state: the instance handle and the one lock.
#ifndef QVLMR_MONITOR_STATE_H
#define QVLMR_MONITOR_STATE_H

#include <windows.h>

extern HINSTANCE ModuleInstance;

void InitMonitorLock();
void EnterMonitorLock();
void LeaveMonitorLock();

// Monitor-wide names and texts.
#define MONITORS_KEY_PATH "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors"
#define MONITOR_NAME "QV TCP/IP LMR Port"

#endif
