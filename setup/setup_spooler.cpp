#include "setup_spooler.h"

#include <winspool.h>

#include "monitor_names.h"

namespace {

// The spooler's list in a block as large as it said it needs (none for an empty list);
// false when the list could not be had.
bool Listing(BOOL (*list)(BYTE *, DWORD, DWORD *, DWORD *), BYTE **buffer, DWORD *count) {
    DWORD needed = 0;
    *buffer = 0;
    *count = 0;
    if (list(0, 0, &needed, count) || needed == 0) return true;
    *buffer = (BYTE *)GlobalAlloc(GPTR, needed);
    if (*buffer && list(*buffer, needed, &needed, count)) return true;
    if (*buffer) GlobalFree(*buffer);
    *buffer = 0;
    *count = 0;
    return false;
}

BOOL ListMonitors(BYTE *buffer, DWORD size, DWORD *needed, DWORD *count) {
    return EnumMonitorsA(0, 1, buffer, size, needed, count);
}

BOOL ListPrinters(BYTE *buffer, DWORD size, DWORD *needed, DWORD *count) {
    return EnumPrintersA(PRINTER_ENUM_LOCAL, 0, 2, buffer, size, needed, count);
}

// One of the monitor's ports: a value of its Ports key, compared without regard to case.
bool IsMonitorPort(HKEY ports, const char *name, int length) {
    char port[256];
    if (length <= 0 || length >= (int)sizeof port) return false;
    lstrcpynA(port, name, length + 1);
    return RegQueryValueExA(ports, port, 0, 0, 0, 0) == ERROR_SUCCESS;
}

bool UsesMonitorPort(HKEY ports, const char *list) {
    for (const char *at = list; list && *at;) {
        while (*at == ' ' || *at == ',') ++at;
        const char *end = at;
        while (*end && *end != ',') ++end;
        const char *last = end;
        while (last > at && last[-1] == ' ') --last;
        if (IsMonitorPort(ports, at, (int)(last - at))) return true;
        at = end;
    }
    return false;
}

void AppendName(char *names, int capacity, const char *name) {
    int used = lstrlenA(names);
    if (used && used + 2 < capacity) {
        lstrcpyA(names + used, ", ");
        used += 2;
    }
    lstrcpynA(names + used, name, capacity - used);
}

}  // namespace

bool MonitorInstalled() {
    DWORD count = 0;
    BYTE *list = 0;
    Listing(ListMonitors, &list, &count);
    bool listed = false;
    for (DWORD i = 0; list && i < count && !listed; ++i)
        listed = lstrcmpiA(((MONITOR_INFO_1A *)list)[i].pName, MONITOR_NAME) == 0;
    if (list) GlobalFree(list);
    if (listed) return true;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MONITOR_KEY_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool driver = RegQueryValueExA(key, "Driver", 0, 0, 0, 0) == ERROR_SUCCESS;
    RegCloseKey(key);
    return driver;
}

int PrintersOnMonitorPorts(char *names, int capacity) {
    names[0] = 0;
    HKEY ports;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MONITOR_KEY_PATH "\\Ports", 0, KEY_READ, &ports) != ERROR_SUCCESS)
        return 0;  // no ports, so no printer on one
    DWORD count = 0;
    BYTE *list = 0;
    int found = Listing(ListPrinters, &list, &count) ? 0 : -1;
    for (DWORD i = 0; list && i < count; ++i) {
        PRINTER_INFO_2A *printer = (PRINTER_INFO_2A *)list + i;
        if (!UsesMonitorPort(ports, printer->pPortName)) continue;
        AppendName(names, capacity, printer->pPrinterName ? printer->pPrinterName : "");
        ++found;
    }
    if (list) GlobalFree(list);
    RegCloseKey(ports);
    return found;
}
