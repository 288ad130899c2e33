#include "port_setup.h"

#include "../config/settings.h"
#include "../monitor/monitor_state.h"
#include "../monitor/port_record.h"
#include "../monitor/text.h"
#include "port_name_rules.h"
#include "port_setup_dialog.h"
#include "resource.h"
#include "sibling_import.h"

namespace {

// Only the letters A to Z are folded: the name is compared byte by byte.
BOOL SameMonitorName(const char *a, const char *b) {
    for (;; ++a, ++b) {
        char x = *a >= 'a' && *a <= 'z' ? (char)(*a - 32) : *a;
        char y = *b >= 'a' && *b <= 'z' ? (char)(*b - 32) : *b;
        if (x != y) return FALSE;
        if (!x) return TRUE;
    }
}

// The dialog takes input in step with the window the spooler gave us.
struct InputAttachment {
    DWORD self, owner;
    explicit InputAttachment(HWND window)
        : self(GetCurrentThreadId()), owner(GetWindowThreadProcessId(window, 0)) {
        AttachThreadInput(self, owner, TRUE);
    }
    void Detach() { AttachThreadInput(owner, self, FALSE); }
};

// The silent add of a complete sibling proposal. Registry write results are not reported.
BOOL SaveImportedPort(const PortSettings &settings) {
    EnterMonitorLock();
    WritePortSettings(settings.portName, settings.hostAddress, settings.queueName, settings.protocol,
                      &settings.serverPort);
    BOOL created = CreatePortRecord(settings.portName) != 0;
    LeaveMonitorLock();
    return created;
}

}  // namespace

BOOL WINAPI AddPort(LPSTR serverName, HWND window, LPSTR monitorName) {
    PortSettings settings;
    FillBytes(&settings, 0, sizeof settings);
    char ownName[260];
    LoadStringA(ModuleInstance, IDS_MONITOR_NAME, ownName, sizeof ownName);
    if (!monitorName || !SameMonitorName(monitorName, ownName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    InputAttachment input(window);
    settings.serverName = serverName;
    settings.mode = AddMode;
    settings.protocol = SpooledLpr;
    settings.serverPort = DEFAULT_SERVER_PORT;

    BOOL result = TRUE;
    BOOL showDialog = TRUE;
    if (ImportSiblingSettings(&settings) == 0) {
        DWORD loadError = 0;
        // a clash opens the dialog with the proposal, and its OK check explains the clash
        if (CheckPortNameClash(serverName, settings.portName, &loadError) == CLASH_NONE) {
            if (loadError) {
                input.Detach();
                SetLastError(loadError);
                return FALSE;
            }
            result = SaveImportedPort(settings);
            showDialog = FALSE;
        }
    }
    if (showDialog) {
        INT_PTR ended = DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_PORT_SETUP_ADD), window,
                                        PortSetupDialogProc, (LPARAM)&settings);
        if (ended == -1 || ended == 0) result = FALSE;
    }
    SetLastError(0);
    input.Detach();
    return result;
}

// The stored values take effect with the port's next job. TRUE even when cancelled.
BOOL WINAPI ConfigurePort(LPSTR, HWND window, LPSTR portName) {
    PortSettings settings;
    FillBytes(&settings, 0, sizeof settings);
    InputAttachment input(window);
    const char *name = portName ? portName : "";
    EnterMonitorLock();
    ReadPortAddress(name, settings.hostAddress);
    ReadPortQueue(name, settings.queueName);
    if (ReadPortProtocol(name, &settings.protocol) != 0) settings.protocol = SpooledLpr;
    if (ReadPortRawPort(name, &settings.serverPort) != 0) settings.serverPort = DEFAULT_SERVER_PORT;
    LeaveMonitorLock();
    CopyText(settings.portName, sizeof settings.portName, name);
    settings.mode = ConfigureMode;
    DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_PORT_SETUP_CONFIGURE), window, PortSetupDialogProc,
                    (LPARAM)&settings);
    SetLastError(0);
    input.Detach();
    return TRUE;
}
