// The Windows 95 print monitor interface: the thirteen-slot MONITOR table that the
// spooler hands to InitializeMonitorEx, with ANSI texts. The host spooler includes this
// header too; nothing else of the module is visible to it.
#ifndef QVLMR_MONITOR_TABLE_H
#define QVLMR_MONITOR_TABLE_H

#include <windows.h>
#include <winspool.h>

typedef struct _MONITOR {
    BOOL(WINAPI *pfnEnumPorts)
    (LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned);
    BOOL(WINAPI *pfnOpenPort)(LPSTR pName, PHANDLE pHandle);
    BOOL(WINAPI *pfnOpenPortEx)
    (LPSTR pPortName, LPSTR pPrinterName, PHANDLE pHandle, struct _MONITOR *pMonitor);
    BOOL(WINAPI *pfnStartDocPort)
    (HANDLE hPort, LPSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
    BOOL(WINAPI *pfnWritePort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
    BOOL(WINAPI *pfnReadPort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
    BOOL(WINAPI *pfnEndDocPort)(HANDLE hPort);
    BOOL(WINAPI *pfnClosePort)(HANDLE hPort);
    BOOL(WINAPI *pfnAddPort)(LPSTR pName, HWND hWnd, LPSTR pMonitorName);
    BOOL(WINAPI *pfnConfigurePort)(LPSTR pName, HWND hWnd, LPSTR pPortName);
    BOOL(WINAPI *pfnDeletePort)(LPSTR pName, HWND hWnd, LPSTR pPortName);
    BOOL(WINAPI *pfnGetPrinterDataFromPort)
    (HANDLE hPort, DWORD ControlID, LPSTR pValueName, LPSTR lpInBuffer, DWORD cbInBuffer, LPSTR lpOutBuffer,
     DWORD cbOutBuffer, LPDWORD lpcbReturned);
    BOOL(WINAPI *pfnSetPortTimeOuts)(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved);
} MONITOR, *LPMONITOR;

#ifdef __cplusplus
extern "C" {
#endif

BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved);
BOOL WINAPI InitializeMonitorEx(LPSTR registryRoot, LPMONITOR monitor);

#ifdef __cplusplus
}
#endif

#endif
