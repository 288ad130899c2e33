// The monitor's stored settings by name: a port's address, queue, protocol and raw port,
// and the monitor-wide spool directory, trace switch and two counters. The registry's key
// and value names are spelled here and in settings.cpp alone. Each call is one registry
// operation on a key opened by full path; reads return 0, or -1 when the value could not be
// read, and the caller applies its default. Callers hold MonitorLock.
#ifndef QVLMR_SETTINGS_H
#define QVLMR_SETTINGS_H

#include <windows.h>

#include "registry_store.h"

// Texts are read into 256-byte buffers and left empty when the read fails.
LONG ReadPortAddress(const char *portName, char *text256);  // the port's value under "Ports"
LONG ReadPortQueue(const char *portName, char *text256);    // PrtQName
LONG ReadPortProtocol(const char *portName, DWORD *protocol);
LONG ReadPortRawPort(const char *portName, DWORD *rawPort);  // SvrPort
// Creates the port's key, then writes its address, queue and protocol, and its raw port
// unless rawPort is null; texts are cut to 255 bytes. Failures are not reported.
void WritePortSettings(const char *portName, const char *address, const char *queue, DWORD protocol,
                       const DWORD *rawPort);
void DeletePortSettings(const char *portName);  // the port's key, then its value

// The spool directory as configured, queried as it is stored (a text of 256 bytes or more
// is cut at 255); ClearSpoolDirSetting stores it empty.
LONG ReadSpoolDirSetting(char *text256);
LONG ClearSpoolDirSetting();
LONG ReadTraceSetting(DWORD *on);

// A counter of the Config key. While the registry refuses to store it, the value last
// stored is kept in memory and stands in for it.
struct StoredCounter {
    const char *valueName;
    BOOL inRegistry;  // the last store went through
    DWORD kept;
};
extern StoredCounter JobNumberCounter;  // SeqNum
extern StoredCounter LocalPortCounter;  // PortNum
// The counter's value: stored, or kept in memory; FALSE when the stored one cannot be read.
BOOL ReadCounter(StoredCounter *counter, DWORD *value);
void StoreCounter(StoredCounter *counter, DWORD value);

// Start-up: opens the monitor's key, creates "Ports" and "Config" where missing, and calls
// each with the name of every value of "Ports" in the registry's order (none when "Ports"
// was just created). A missing monitor key (not installed) gives no names.
void EnumerateStoredPorts(void (*each)(const char *portName));

#endif
