#include "registry_store.h"

#include "../monitor/monitor_state.h"
#include "../monitor/text.h"
#include "value_names.h"

BOOL BuildMonitorKeyPath(char *path, const char *part1, const char *part2) {
    path[0] = 0;
    if (!AppendText(path, KEY_PATH_SIZE, MONITORS_KEY_PATH "\\" MONITOR_NAME)) return FALSE;
    if (part1 && (!AppendText(path, KEY_PATH_SIZE, "\\") || !AppendText(path, KEY_PATH_SIZE, part1)))
        return FALSE;
    if (part2 && (!AppendText(path, KEY_PATH_SIZE, "\\") || !AppendText(path, KEY_PATH_SIZE, part2)))
        return FALSE;
    return TRUE;
}

namespace {

// Opens monitor key \ part1 [\ part2]; a path that does not fit fails like a missing key.
BOOL OpenSettingsKey(const char *part1, const char *part2, REGSAM access, HKEY *key) {
    char path[KEY_PATH_SIZE];
    if (!BuildMonitorKeyPath(path, part1, part2)) return FALSE;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key) == ERROR_SUCCESS;
}

LONG QueryDword(const char *part1, const char *part2, const char *valueName, DWORD *value) {
    HKEY key;
    if (!OpenSettingsKey(part1, part2, KEY_READ, &key)) return -1;
    // Any stored value of up to four bytes; the type is not examined.
    DWORD read = 0, size = sizeof read;
    LONG result = RegQueryValueExA(key, valueName, 0, 0, (LPBYTE)&read, &size) == ERROR_SUCCESS ? 0 : -1;
    if (result == 0) {
        DWORD merged = *value;
        CopyBytes(&merged, &read, size);
        *value = merged;
    }
    RegCloseKey(key);
    return result;
}

LONG QueryString(const char *part1, const char *part2, const char *valueName, char *text256) {
    HKEY key;
    if (!OpenSettingsKey(part1, part2, KEY_READ, &key)) return -1;
    DWORD size = REGISTRY_TEXT_SIZE;
    LONG result = RegQueryValueExA(key, valueName, 0, 0, (LPBYTE)text256, &size) == ERROR_SUCCESS ? 0 : -1;
    RegCloseKey(key);
    if (result == 0) {
        // A stored text may lack its terminator (and may fill all 256 bytes): end it at
        // the value's length, cutting the last byte when there is no room.
        if (size >= REGISTRY_TEXT_SIZE) size = REGISTRY_TEXT_SIZE - 1;
        text256[size] = 0;
    }
    return result;
}

LONG StagedRead(LONG (*query)(const char *, const char *, char *), const char *owner, const char *valueName,
                char *text256) {
    char staged[REGISTRY_TEXT_SIZE];
    staged[0] = 0;
    LONG result = query(owner, valueName, staged);
    if (result != 0) staged[0] = 0;
    CopyText(text256, REGISTRY_TEXT_SIZE, staged);
    return result;
}

LONG SetDword(const char *part1, const char *part2, const char *valueName, DWORD value) {
    HKEY key;
    if (!OpenSettingsKey(part1, part2, KEY_WRITE, &key)) return -1;
    LONG result =
        RegSetValueExA(key, valueName, 0, REG_DWORD, (const BYTE *)&value, sizeof value) == ERROR_SUCCESS
            ? 0
            : -1;
    RegCloseKey(key);
    return result;
}

LONG SetString(const char *part1, const char *part2, const char *valueName, const char *text) {
    HKEY key;
    if (!OpenSettingsKey(part1, part2, KEY_WRITE, &key)) return -1;
    // Written without its terminator; an empty text as one zero byte.
    int length = TextLength(text);
    static const BYTE zero = 0;
    LONG result = RegSetValueExA(key, valueName, 0, REG_SZ, length ? (const BYTE *)text : &zero,
                                 length ? (DWORD)length : 1) == ERROR_SUCCESS
                      ? 0
                      : -1;
    RegCloseKey(key);
    return result;
}

}  // namespace

LONG ReadMonitorSettingDword(const char *subkey, const char *valueName, DWORD *value) {
    return QueryDword(subkey, 0, valueName, value);
}

LONG QueryMonitorSettingString(const char *subkey, const char *valueName, char *text256) {
    return QueryString(subkey, 0, valueName, text256);
}

LONG ReadMonitorSettingString(const char *subkey, const char *valueName, char *text256) {
    return StagedRead(QueryMonitorSettingString, subkey, valueName, text256);
}

LONG WriteMonitorSettingDword(const char *subkey, const char *valueName, DWORD value) {
    return SetDword(subkey, 0, valueName, value);
}

LONG SetMonitorSettingString(const char *subkey, const char *valueName, const char *text) {
    return SetString(subkey, 0, valueName, text);
}

LONG WriteMonitorSettingString(const char *subkey, const char *valueName, const char *text) {
    char staged[REGISTRY_TEXT_SIZE];
    CopyText(staged, sizeof staged, text);
    return SetMonitorSettingString(subkey, valueName, staged);
}

LONG DeleteMonitorSetting(const char *subkey, const char *valueName) {
    HKEY key;
    if (!OpenSettingsKey(subkey, 0, KEY_WRITE, &key)) return -1;
    LONG result = RegDeleteValueA(key, valueName) == ERROR_SUCCESS ? 0 : -1;
    RegCloseKey(key);
    return result;
}

LONG ReadPortSettingDword(const char *portName, const char *valueName, DWORD *value) {
    if (!portName) return -1;
    return QueryDword(PORTS_KEY, portName, valueName, value);
}

LONG QueryPortSettingString(const char *portName, const char *valueName, char *text256) {
    if (!portName) return -1;
    return QueryString(PORTS_KEY, portName, valueName, text256);
}

LONG ReadPortSettingString(const char *portName, const char *valueName, char *text256) {
    return StagedRead(QueryPortSettingString, portName, valueName, text256);
}

LONG WritePortSettingDword(const char *portName, const char *valueName, DWORD value) {
    if (!portName) return -1;
    return SetDword(PORTS_KEY, portName, valueName, value);
}

LONG SetPortSettingString(const char *portName, const char *valueName, const char *text) {
    if (!portName) return -1;
    return SetString(PORTS_KEY, portName, valueName, text);
}

LONG WritePortSettingString(const char *portName, const char *valueName, const char *text) {
    char staged[REGISTRY_TEXT_SIZE];
    CopyText(staged, sizeof staged, text);
    return SetPortSettingString(portName, valueName, staged);
}

LONG CreatePortSettingsKey(const char *portName) {
    HKEY ports, key;
    if (!portName || !*portName || !OpenSettingsKey(PORTS_KEY, 0, KEY_WRITE, &ports)) return -1;
    DWORD disposition = 0;
    LONG result =
        RegCreateKeyExA(ports, portName, 0, 0, REG_OPTION_NON_VOLATILE, KEY_WRITE, 0, &key, &disposition);
    RegCloseKey(ports);
    if (result != ERROR_SUCCESS) return -1;
    RegCloseKey(key);
    return disposition == REG_CREATED_NEW_KEY ? 0 : -1;
}

LONG DeletePortSettingsKey(const char *portName) {
    HKEY ports;
    if (!portName || !*portName || !OpenSettingsKey(PORTS_KEY, 0, KEY_WRITE, &ports)) return -1;
    LONG result = RegDeleteKeyA(ports, portName) == ERROR_SUCCESS ? 0 : -1;
    RegCloseKey(ports);
    return result;
}
