#include "port_enum.h"

#include "../ui/resource.h"
#include "monitor_state.h"
#include "text.h"

#include <stddef.h>
#include <winspool.h>

namespace {

const DWORD kLevel1Offsets[] = {0, (DWORD)-1};
const DWORD kLevel2Offsets[] = {offsetof(PORT_INFO_2A, pPortName), offsetof(PORT_INFO_2A, pMonitorName),
                                offsetof(PORT_INFO_2A, pDescription), (DWORD)-1};
const int kResourceTextSize = 260;

DWORD StructureSize(DWORD level) {
    return level == 1 ? (DWORD)sizeof(PORT_INFO_1A) : level == 2 ? (DWORD)sizeof(PORT_INFO_2A) : 0;
}

// A level-2 record's monitor field carries text 307 ("QV TCP/IP LMR Monitor") and its
// description text 300 ("QV TCP/IP LMR Port", the monitor's own name).
void LoadLevel2Texts(char *monitorField, char *descriptionField) {
    LoadStringA(ModuleInstance, IDS_MONITOR_DESCRIPTION, monitorField, kResourceTextSize);
    LoadStringA(ModuleInstance, IDS_MONITOR_NAME, descriptionField, kResourceTextSize);
}

}  // namespace

DWORD PortInfoSize(PortRecord *record, DWORD level) {
    DWORD nameSize = (DWORD)TextLength(record->portName) + 1;
    if (level == 1) return (DWORD)sizeof(PORT_INFO_1A) + nameSize;
    if (level != 2) return 0;
    char monitorField[kResourceTextSize], descriptionField[kResourceTextSize];
    LoadLevel2Texts(monitorField, descriptionField);
    return (DWORD)sizeof(PORT_INFO_2A) + nameSize + (DWORD)TextLength(monitorField) + 1 +
           (DWORD)TextLength(descriptionField) + 1;
}

LPBYTE PackStrings(char **strings, LPBYTE structure, const DWORD *offsets, LPBYTE stringEnd) {
    for (int i = 0; offsets[i] != (DWORD)-1; ++i) {
        char **member = (char **)(structure + offsets[i]);
        if (!strings[i]) {
            *member = 0;
            continue;
        }
        DWORD size = (DWORD)TextLength(strings[i]) + 1;
        stringEnd -= size;
        CopyBytes(stringEnd, strings[i], size);
        *member = (char *)stringEnd;
    }
    return stringEnd;
}

LPBYTE FillPortInfo(PortRecord *record, DWORD level, LPBYTE structure, LPBYTE stringEnd) {
    if (level != 1 && level != 2) return 0;
    const DWORD *offsets = level == 1 ? kLevel1Offsets : kLevel2Offsets;
    int count = 0;
    while (offsets[count] != (DWORD)-1) ++count;
    char **strings = (char **)AllocZeroed((DWORD)(count * sizeof(char *)));
    if (!strings) return 0;
    char monitorField[kResourceTextSize], descriptionField[kResourceTextSize];
    strings[0] = record->portName;
    if (level == 2) {
        LoadLevel2Texts(monitorField, descriptionField);
        strings[1] = monitorField;
        strings[2] = descriptionField;
        PORT_INFO_2A *info = (PORT_INFO_2A *)structure;
        info->fPortType = PORT_TYPE_WRITE;
        info->Reserved = 0;
    }
    LPBYTE end = PackStrings(strings, structure, offsets, stringEnd);
    FreeBlock(strings);
    return end;
}

BOOL WINAPI EnumPorts(LPSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    DWORD error = 0;
    EnterMonitorLock();
    DWORD total = 0;
    for (PortRecord *r = PortList; r; r = r->next) total += PortInfoSize(r, level);
    if (needed) *needed = total;
    if (total > size || (total && !buffer)) {
        error = ERROR_INSUFFICIENT_BUFFER;
    } else {
        LPBYTE structure = buffer;
        LPBYTE stringEnd = buffer ? buffer + size : 0;
        if (returned) *returned = 0;
        for (PortRecord *r = PortList; r; r = r->next) {
            if (level != 1 && level != 2) {
                error = ERROR_INVALID_LEVEL;
                break;
            }
            stringEnd = FillPortInfo(r, level, structure, stringEnd);
            if (!stringEnd) {
                error = ERROR_NOT_ENOUGH_MEMORY;
                break;
            }
            structure += StructureSize(level);
            if (returned) ++*returned;
        }
    }
    LeaveMonitorLock();
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL NoQueuedJobs() {
    DWORD needed = 0, count = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL, 0, 2, 0, 0, &needed, &count);
    LPBYTE buffer = (LPBYTE)AllocZeroed(needed + 8);
    if (!buffer) return TRUE;
    BOOL none = TRUE;
    if (EnumPrintersA(PRINTER_ENUM_LOCAL, 0, 2, buffer, needed + 8, &needed, &count) && (LONG)count > 0) {
        PRINTER_INFO_2A *printers = (PRINTER_INFO_2A *)buffer;
        for (DWORD i = 0; i < count; ++i)
            if (printers[i].cJobs != 0) {
                none = FALSE;
                break;
            }
    }
    FreeBlock(buffer);
    return none;
}

BOOL WINAPI DeletePort(LPSTR, HWND, LPSTR portName) {
    if (!portName) return FALSE;
    if (!NoQueuedJobs()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    EnterMonitorLock();
    BOOL removed = RemovePortRecord(portName);
    LeaveMonitorLock();
    return removed;
}
