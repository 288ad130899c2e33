// Listing the monitor's ports for the spooler, and deleting one.
#ifndef QVLMR_PORT_ENUM_H
#define QVLMR_PORT_ENUM_H

#include <windows.h>

#include "port_record.h"

BOOL WINAPI EnumPorts(LPSTR serverName, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                      LPDWORD returned);
BOOL WINAPI DeletePort(LPSTR serverName, HWND window, LPSTR portName);
DWORD PortInfoSize(PortRecord *record, DWORD level);
LPBYTE FillPortInfo(PortRecord *record, DWORD level, LPBYTE structure, LPBYTE stringEnd);
LPBYTE PackStrings(char **strings, LPBYTE structure, const DWORD *offsets, LPBYTE stringEnd);
BOOL NoQueuedJobs();

#endif
