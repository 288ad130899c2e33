// Module-wide state: the instance handle and the one lock.
#ifndef QVLMR_MONITOR_STATE_H
#define QVLMR_MONITOR_STATE_H

#include <windows.h>

extern HINSTANCE ModuleInstance;

void InitMonitorLock();
void EnterMonitorLock();
void LeaveMonitorLock();

#include "monitor_names.h"

#endif
