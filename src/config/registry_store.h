// The monitor's registry tree under HKEY_LOCAL_MACHINE\...\Print\Monitors\QV TCP/IP LMR Port,
// for settings.cpp, which names its keys and values. Every operation opens its key by full
// path, does one thing, closes it, and returns 0 or -1. Callers hold MonitorLock.
// A text is read either staged (Read...String: into a buffer of its own first, so a failed
// read leaves the caller's text empty) or unstaged (straight into the caller's 256 bytes);
// it is written either cut to 255 bytes first (Write...String) or uncut, as it is.
#ifndef QVLMR_REGISTRY_STORE_H
#define QVLMR_REGISTRY_STORE_H

#include <windows.h>

#define REGISTRY_TEXT_SIZE 256
#define KEY_PATH_SIZE 256

LONG ReadMonitorSettingDword(const char *subkey, const char *valueName, DWORD *value);
LONG ReadMonitorSettingStringUnstaged(const char *subkey, const char *valueName, char *text256);
LONG ReadMonitorSettingString(const char *subkey, const char *valueName, char *text256);
LONG WriteMonitorSettingDword(const char *subkey, const char *valueName, DWORD value);
LONG WriteMonitorSettingStringUncut(const char *subkey, const char *valueName, const char *text);
LONG WriteMonitorSettingString(const char *subkey, const char *valueName, const char *text);
LONG DeleteMonitorSetting(const char *subkey, const char *valueName);

LONG ReadPortSettingDword(const char *portName, const char *valueName, DWORD *value);
LONG ReadPortSettingStringUnstaged(const char *portName, const char *valueName, char *text256);
LONG ReadPortSettingString(const char *portName, const char *valueName, char *text256);
LONG WritePortSettingDword(const char *portName, const char *valueName, DWORD value);
LONG WritePortSettingStringUncut(const char *portName, const char *valueName, const char *text);
LONG WritePortSettingString(const char *portName, const char *valueName, const char *text);
LONG CreatePortSettingsKey(const char *portName);
LONG DeletePortSettingsKey(const char *portName);

// The monitor key's path (no trailing backslash), optionally extended by "\" + part.
BOOL BuildMonitorKeyPath(char *path, const char *part1, const char *part2);

#endif
