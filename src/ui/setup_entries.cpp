// What the OK button of the setup dialog does: the checks in their fixed order, the name
// lookup when the address is not a dotted one, and the save.
#include <winsock.h>

#include "../config/settings.h"
#include "../monitor/monitor_state.h"
#include "../monitor/port_record.h"
#include "../monitor/text.h"
#include "dotted_address.h"
#include "port_name_rules.h"
#include "port_setup_dialog.h"
#include "resource.h"

namespace {

// Ends the text at its first colon; returns what followed it ("" when there was none).
const char *CutAtColon(char *text) {
    for (char *p = text; *p; ++p)
        if (*p == ':') {
            *p = 0;
            return p + 1;
        }
    return "";
}

void Reject(HWND dialog, UINT textId, int focusId) {
    EnableSetupControls(dialog, TRUE);
    if (textId) ShowSetupError(dialog, textId);
    FocusControl(dialog, focusId);
}

// The new port's name: no backslash, and no clash with any port of the spooler.
BOOL NewPortNameAccepted(HWND dialog, PortSettings *settings) {
    char name[SETTINGS_TEXT_SIZE];
    GetDlgItemTextA(dialog, IDC_PORT_NAME, name, sizeof name);
    if (HasBackslash(name)) {
        Reject(dialog, IDS_INPUT_ERROR, IDC_PORT_NAME);
        return FALSE;
    }
    DWORD loadError = 0;
    switch (CheckPortNameClash(settings->serverName, name, &loadError)) {
        case CLASH_SAME_NAME: Reject(dialog, IDS_PORT_EXISTS, IDC_PORT_NAME); return FALSE;
        case CLASH_PREFIX: Reject(dialog, IDS_PORT_PREFIX_CLASH, IDC_PORT_NAME); return FALSE;
        default: break;
    }
    if (loadError) {
        Reject(dialog, 0, IDC_PORT_NAME);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void CheckSetupEntries(HWND dialog, PortSettings *settings) {
    if (IsDlgButtonChecked(dialog, IDC_RAW) == BST_CHECKED) {
        BOOL translated = FALSE;
        GetDlgItemInt(dialog, IDC_PORT_NUMBER, &translated, FALSE);
        if (!translated) {  // the range is settled when saving
            ShowSetupError(dialog, IDS_INPUT_ERROR);
            FocusControl(dialog, IDC_PORT_NUMBER);
            return;
        }
    }
    if (settings->mode == AddMode && !NewPortNameAccepted(dialog, settings)) return;
    settings->checkStarted = 1;

    char address[SETTINGS_TEXT_SIZE];
    GetDlgItemTextA(dialog, IDC_ADDRESS, address, sizeof address);
    const char *queue = CutAtColon(address);
    const char *host = address;
    if (queue[0] && !HasOnlyAllowedChars(queue, ALLOWED_SYMBOLS))
        return Reject(dialog, IDS_INPUT_ERROR, IDC_ADDRESS);
    CopyText(settings->queueName, sizeof settings->queueName, queue);
    if (!host[0]) return Reject(dialog, IDS_INPUT_ERROR, IDC_ADDRESS);
    CopyText(settings->lookupHost, sizeof settings->lookupHost, host);
    if (!HasOnlyAllowedChars(host, ALLOWED_SYMBOLS)) return Reject(dialog, IDS_INPUT_ERROR, IDC_ADDRESS);

    if (IsDottedAddressForm(host)) {
        if (!NormalizeDottedAddress(settings->lookupHost)) return SavePortSettings(dialog, settings);
        if (inet_addr(settings->lookupHost) != INADDR_NONE) {
            SetDlgItemTextA(dialog, IDC_ADDRESS, settings->lookupHost);
            return SavePortSettings(dialog, settings);
        }
    }
    // a name (or a dotted text that only a name server could make sense of)
    EnableSetupControls(dialog, FALSE);
    PostMessageA(dialog, UM_START_LOOKUP, 0, 0);
}

void SavePortSettings(HWND dialog, PortSettings *settings) {
    INT_PTR result = 1;
    BOOL raw = IsDlgButtonChecked(dialog, IDC_RAW) == BST_CHECKED;
    if (raw) {
        settings->protocol = RawTcp;
        BOOL translated = FALSE;
        UINT port = GetDlgItemInt(dialog, IDC_PORT_NUMBER, &translated, FALSE);
        settings->serverPort = translated && port <= 65535 ? port : DEFAULT_SERVER_PORT;
    } else {
        settings->protocol =
            IsDlgButtonChecked(dialog, IDC_BYTE_COUNT) == BST_CHECKED ? SpooledLpr : StreamedLpr;
    }
    char address[SETTINGS_TEXT_SIZE];
    GetDlgItemTextA(dialog, IDC_ADDRESS, address, sizeof address);
    CutAtColon(address);
    CopyText(settings->hostAddress, sizeof settings->hostAddress, address);
    GetDlgItemTextA(dialog, IDC_PORT_NAME, settings->portName, sizeof settings->portName);

    // write results are not reported: the dialog has nothing to offer the user about them
    EnterMonitorLock();
    WritePortSettings(settings->portName, settings->hostAddress, settings->queueName, settings->protocol,
                      raw ? &settings->serverPort : 0);
    if (settings->mode == AddMode && !CreatePortRecord(settings->portName)) result = 0;
    LeaveMonitorLock();
    Sleep(100);
    EndDialog(dialog, result);
}
