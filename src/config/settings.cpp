#include "settings.h"

#include "../monitor/monitor_names.h"
#include "value_names.h"

StoredCounter JobNumberCounter = {JOB_NUMBER_VALUE, TRUE, 0};
StoredCounter LocalPortCounter = {LOCAL_PORT_VALUE, TRUE, 0};

LONG ReadPortAddress(const char *portName, char *text256) {
    return ReadMonitorSettingString(PORTS_KEY, portName, text256);
}

LONG ReadPortQueue(const char *portName, char *text256) {
    return ReadPortSettingString(portName, QUEUE_VALUE, text256);
}

LONG ReadPortProtocol(const char *portName, DWORD *protocol) {
    return ReadPortSettingDword(portName, PROTOCOL_VALUE, protocol);
}

LONG ReadPortRawPort(const char *portName, DWORD *rawPort) {
    return ReadPortSettingDword(portName, RAW_PORT_VALUE, rawPort);
}

void WritePortSettings(const char *portName, const char *address, const char *queue, DWORD protocol,
                       const DWORD *rawPort) {
    CreatePortSettingsKey(portName);
    WriteMonitorSettingString(PORTS_KEY, portName, address);
    WritePortSettingString(portName, QUEUE_VALUE, queue);
    WritePortSettingDword(portName, PROTOCOL_VALUE, protocol);
    if (rawPort) WritePortSettingDword(portName, RAW_PORT_VALUE, *rawPort);
}

void DeletePortSettings(const char *portName) {
    DeletePortSettingsKey(portName);
    DeleteMonitorSetting(PORTS_KEY, portName);
}

LONG ReadSpoolDirSetting(char *text256) {
    return QueryMonitorSettingString(CONFIG_KEY, SPOOL_DIR_VALUE, text256);
}

LONG ClearSpoolDirSetting() {
    return SetMonitorSettingString(CONFIG_KEY, SPOOL_DIR_VALUE, "");
}

LONG ReadTraceSetting(DWORD *on) {
    return ReadMonitorSettingDword(CONFIG_KEY, TRACE_VALUE, on);
}

BOOL ReadCounter(StoredCounter *counter, DWORD *value) {
    if (!counter->inRegistry) {
        *value = counter->kept;
        return TRUE;
    }
    DWORD stored = 0;
    if (ReadMonitorSettingDword(CONFIG_KEY, counter->valueName, &stored) != 0) return FALSE;
    *value = stored;
    return TRUE;
}

void StoreCounter(StoredCounter *counter, DWORD value) {
    counter->inRegistry = WriteMonitorSettingDword(CONFIG_KEY, counter->valueName, value) == 0;
    counter->kept = value;
}

void EnumerateStoredPorts(void (*each)(const char *portName)) {
    HKEY monitors = 0, monitor = 0, ports = 0, config = 0;
    DWORD portsDisposition = 0, configDisposition = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MONITORS_KEY_PATH, 0, KEY_ALL_ACCESS, &monitors) != ERROR_SUCCESS)
        return;
    if (RegOpenKeyExA(monitors, MONITOR_NAME, 0, KEY_ALL_ACCESS, &monitor) == ERROR_SUCCESS) {
        if (RegCreateKeyExA(monitor, PORTS_KEY, 0, 0, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, 0, &ports,
                            &portsDisposition) != ERROR_SUCCESS)
            ports = 0;
        if (RegCreateKeyExA(monitor, CONFIG_KEY, 0, 0, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, 0, &config,
                            &configDisposition) != ERROR_SUCCESS)
            config = 0;
        if (ports && portsDisposition != REG_CREATED_NEW_KEY) {
            for (DWORD index = 0;; ++index) {
                char name[REGISTRY_TEXT_SIZE];
                DWORD nameLength = sizeof name;
                if (RegEnumValueA(ports, index, name, &nameLength, 0, 0, 0, 0) != ERROR_SUCCESS) break;
                name[sizeof name - 1] = 0;
                each(name);
            }
        }
        if (config) RegCloseKey(config);
        if (ports) RegCloseKey(ports);
        RegCloseKey(monitor);
    }
    RegCloseKey(monitors);
}
