// Adding and configuring ports (the spooler's Add Port and Configure Port commands).
#ifndef QVLMR_PORT_SETUP_H
#define QVLMR_PORT_SETUP_H

#include <windows.h>

BOOL WINAPI AddPort(LPSTR serverName, HWND window, LPSTR monitorName);
BOOL WINAPI ConfigurePort(LPSTR serverName, HWND window, LPSTR portName);

#endif
