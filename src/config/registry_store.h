// The monitor's registry tree under HKEY_LOCAL_MACHINE\...\Print\Monitors\QV TCP/IP LMR Port,
// for settings.cpp, which names its keys and values. Every operation opens its key by full
// path (the monitor key \ subkey, or "Ports" \ port name), does one thing, closes it, and
// returns 0 or -1. Callers hold MonitorLock.
#ifndef QVLMR_REGISTRY_STORE_H
#define QVLMR_REGISTRY_STORE_H

#include <windows.h>

#define REGISTRY_TEXT_SIZE 256
#define KEY_PATH_SIZE 256

// Numbers: any stored value of up to four bytes, whatever its type; written as REG_DWORD.
LONG ReadMonitorSettingDword(const char *subkey, const char *valueName, DWORD *value);
LONG ReadPortSettingDword(const char *portName, const char *valueName, DWORD *value);
LONG WriteMonitorSettingDword(const char *subkey, const char *valueName, DWORD value);
LONG WritePortSettingDword(const char *portName, const char *valueName, DWORD value);

// Texts. Query reads straight into the caller's 256 bytes, so a failed read may leave
// them changed; Read stages it in a buffer of its own, so a failed read leaves "". Set
// writes the text as it is; Write cuts it to 255 bytes first.
LONG QueryMonitorSettingString(const char *subkey, const char *valueName, char *text256);
LONG QueryPortSettingString(const char *portName, const char *valueName, char *text256);
LONG ReadMonitorSettingString(const char *subkey, const char *valueName, char *text256);
LONG ReadPortSettingString(const char *portName, const char *valueName, char *text256);
LONG SetMonitorSettingString(const char *subkey, const char *valueName, const char *text);
LONG SetPortSettingString(const char *portName, const char *valueName, const char *text);
LONG WriteMonitorSettingString(const char *subkey, const char *valueName, const char *text);
LONG WritePortSettingString(const char *portName, const char *valueName, const char *text);

LONG DeleteMonitorSetting(const char *subkey, const char *valueName);
LONG CreatePortSettingsKey(const char *portName);  // 0 only when the key was newly made
LONG DeletePortSettingsKey(const char *portName);

// The monitor key's path (no trailing backslash), optionally extended by "\" + part.
BOOL BuildMonitorKeyPath(char *path, const char *part1, const char *part2);

#endif
