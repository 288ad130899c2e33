// One port's editable settings, as the setup dialog shows and saves them.
#ifndef QVLMR_PORT_SETTINGS_H
#define QVLMR_PORT_SETTINGS_H

#include <windows.h>

#define SETTINGS_TEXT_SIZE 256
#define LOOKUP_HOST_SIZE 1034
#define HOST_ENTRY_SIZE 1024  // the sockets layer's largest host entry
#define DEFAULT_SERVER_PORT 9100

enum SetupMode { AddMode = 1, ConfigureMode = 2 };

struct PortSettings {
    char portName[SETTINGS_TEXT_SIZE];
    char hostAddress[SETTINGS_TEXT_SIZE];
    DWORD serverPort;
    DWORD protocol;
    char queueName[SETTINGS_TEXT_SIZE];
    char lookupHost[LOOKUP_HOST_SIZE];
    BYTE hostEntryBuffer[HOST_ENTRY_SIZE];
    DWORD checkStarted;
    HANDLE lookupHandle;
    LPSTR serverName;
    DWORD mode;
};

#endif
