#include "monitor_state.h"

HINSTANCE ModuleInstance;

static CRITICAL_SECTION MonitorLock;

void InitMonitorLock() {
    InitializeCriticalSection(&MonitorLock);
}
void EnterMonitorLock() {
    EnterCriticalSection(&MonitorLock);
}
void LeaveMonitorLock() {
    LeaveCriticalSection(&MonitorLock);
}
