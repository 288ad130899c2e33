#include "uninstall_entry.h"

#include <windows.h>

#include "monitor_names.h"

namespace {

const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QVLMRMON";

bool SetText(HKEY key, const char *name, const char *text) {
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)lstrlenA(text) + 1) ==
           ERROR_SUCCESS;
}

}  // namespace

bool WriteUninstallEntry(const char *setupCopy) {
    // The command in short names: Windows 95 runs it as it stands, and a long folder name
    // with spaces would split it.
    char command[MAX_PATH + 4];
    DWORD length = GetShortPathNameA(setupCopy, command, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    lstrcatA(command, " /U");
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEntryKey, 0, 0, REG_OPTION_NON_VOLATILE, KEY_WRITE, 0, &key,
                        0) != ERROR_SUCCESS)
        return false;
    bool ok =
        SetText(key, "DisplayName", MONITOR_NAME " monitor") && SetText(key, "UninstallString", command);
    RegCloseKey(key);
    return ok;
}

void RemoveUninstallEntry() {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEntryKey);
}
