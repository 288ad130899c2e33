#include "port_setup_dialog.h"

#include <winsock.h>

#include "../monitor/monitor_state.h"
#include "../monitor/port_record.h"
#include "../monitor/text.h"
#include "about_box.h"
#include "resource.h"

namespace {

const int kPortNameLimit = 40;
const int kAddressLimit = 128;
const int kPortNumberLimit = 5;

PortSettings *Settings(HWND dialog) {
    return (PortSettings *)GetWindowLongPtrA(dialog, DWLP_USER);
}

void EnableControl(HWND dialog, int id, BOOL enable) {
    EnableWindow(GetDlgItem(dialog, id), enable);
}

BOOL IsChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void SelectLpr(HWND dialog) {
    EnableControl(dialog, IDC_PORT_NUMBER, FALSE);
    EnableControl(dialog, IDC_PORT_NUMBER_LABEL, FALSE);
    EnableControl(dialog, IDC_BYTE_COUNT, TRUE);
}

void SelectRaw(HWND dialog) {
    EnableControl(dialog, IDC_PORT_NUMBER, TRUE);
    EnableControl(dialog, IDC_PORT_NUMBER_LABEL, TRUE);
    EnableControl(dialog, IDC_BYTE_COUNT, FALSE);
}

DWORD HelpContext(int controlId) {
    switch (controlId) {
        case IDC_PORT_NAME:
        case IDC_PORT_NAME_LABEL: return IDH_SETUP_PORT_NAME;
        case IDC_ADDRESS:
        case IDC_ADDRESS_LABEL: return IDH_SETUP_ADDRESS;
        case IDOK: return IDH_SETUP_OK;
        case IDCANCEL: return IDH_SETUP_CANCEL;
        case IDC_ABOUT: return IDH_SETUP_ABOUT;
        case IDC_PROTOCOL_GROUP: return IDH_SETUP_PROTOCOL;
        case IDC_PORT_NUMBER:
        case IDC_PORT_NUMBER_LABEL: return IDH_SETUP_PORT_NUMBER;
        case IDC_BYTE_COUNT: return IDH_SETUP_BYTE_COUNT;
        case IDC_LPR: return IDH_SETUP_LPR;
        case IDC_RAW: return IDH_SETUP_RAW;
        default: return 0;
    }
}

void StartLookup(HWND dialog, PortSettings *settings) {
    settings->lookupHandle = WSAAsyncGetHostByName(dialog, UM_LOOKUP_DONE, settings->lookupHost,
                                                   (char *)settings->hostEntryBuffer, HOST_ENTRY_SIZE);
    if (!settings->lookupHandle) {
        EnableSetupControls(dialog, TRUE);
        FocusControl(dialog, IDC_ADDRESS);
    }
}

// A lookup proves only that the name exists: what is saved is the field's text.
void LookupDone(HWND dialog, PortSettings *settings, WPARAM handle, LPARAM reply) {
    if (!settings->lookupHandle || (HANDLE)handle != settings->lookupHandle) return;  // cancelled meanwhile
    settings->lookupHandle = NULL;
    EnableSetupControls(dialog, TRUE);
    FocusControl(dialog, IDC_ADDRESS);
    if (WSAGETASYNCERROR(reply)) {
        ShowSetupError(dialog, IDS_HOST_UNAVAILABLE);
        return;
    }
    SavePortSettings(dialog, settings);
}

void Cancel(HWND dialog, PortSettings *settings) {
    if (settings && settings->lookupHandle) {
        WSACancelAsyncRequest(settings->lookupHandle);
        settings->lookupHandle = NULL;
        EnableSetupControls(dialog, TRUE);
        FocusControl(dialog, IDC_ADDRESS);
        return;
    }
    Sleep(100);
    EndDialog(dialog, 0);
}

BOOL OnCommand(HWND dialog, WORD id, WORD code) {
    PortSettings *settings = Settings(dialog);
    switch (id) {
        case IDC_PORT_NAME:
        case IDC_ADDRESS:
        case IDC_PORT_NUMBER:
            if (code == EN_UPDATE) RequiredFieldsPresent(dialog);
            return TRUE;
        case IDC_LPR:
            if (code == BN_CLICKED) SelectLpr(dialog);
            return TRUE;
        case IDC_RAW:
            if (code == BN_CLICKED) SelectRaw(dialog);
            return TRUE;
        case IDOK:
            if (settings) CheckSetupEntries(dialog, settings);
            return TRUE;
        case IDCANCEL: Cancel(dialog, settings); return TRUE;
        case IDC_ABOUT:
            DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_ABOUT), dialog, AboutBoxProc, 0);
            return TRUE;
        default: return FALSE;
    }
}

}  // namespace

void ShowSetupError(HWND dialog, UINT textId) {
    char caption[256], text[256];
    LoadStringA(ModuleInstance, IDS_ERROR_CAPTION, caption, sizeof caption);
    LoadStringA(ModuleInstance, textId, text, sizeof text);
    MessageBoxA(dialog, text, caption, MB_ICONHAND | MB_OK);
}

void FocusControl(HWND dialog, int id) {
    SetFocus(GetDlgItem(dialog, id));
}

void InitPortSetupDialog(HWND dialog, PortSettings *settings) {
    SetForegroundWindow(dialog);
    SendDlgItemMessageA(dialog, IDC_PORT_NAME, EM_LIMITTEXT, kPortNameLimit, 0);
    SendDlgItemMessageA(dialog, IDC_ADDRESS, EM_LIMITTEXT, kAddressLimit, 0);
    SendDlgItemMessageA(dialog, IDC_PORT_NUMBER, EM_LIMITTEXT, kPortNumberLimit, 0);
    SetDlgItemTextA(dialog, IDC_PORT_NAME, settings->portName);
    char address[2 * SETTINGS_TEXT_SIZE];
    CopyText(address, sizeof address, settings->hostAddress);
    if (settings->queueName[0]) {
        AppendText(address, sizeof address, ":");
        AppendText(address, sizeof address, settings->queueName);
    }
    SetDlgItemTextA(dialog, IDC_ADDRESS, address);
    SetDlgItemInt(dialog, IDC_PORT_NUMBER, settings->serverPort, FALSE);
    switch (settings->protocol) {
        case StreamedLpr:
            CheckDlgButton(dialog, IDC_BYTE_COUNT, BST_UNCHECKED);
            EnableControl(dialog, IDC_PORT_NUMBER, FALSE);
            EnableControl(dialog, IDC_PORT_NUMBER_LABEL, FALSE);
            CheckRadioButton(dialog, IDC_LPR, IDC_RAW, IDC_LPR);
            break;
        case RawTcp:
            CheckDlgButton(dialog, IDC_BYTE_COUNT, BST_CHECKED);
            EnableControl(dialog, IDC_BYTE_COUNT, FALSE);
            CheckRadioButton(dialog, IDC_LPR, IDC_RAW, IDC_RAW);
            break;
        default:
            CheckDlgButton(dialog, IDC_BYTE_COUNT, BST_CHECKED);
            EnableControl(dialog, IDC_PORT_NUMBER, FALSE);
            EnableControl(dialog, IDC_PORT_NUMBER_LABEL, FALSE);
            CheckRadioButton(dialog, IDC_LPR, IDC_RAW, IDC_LPR);
            break;
    }
}

void RequiredFieldsPresent(HWND dialog) {
    char text[SETTINGS_TEXT_SIZE];
    if (GetDlgItemTextA(dialog, IDC_PORT_NUMBER, text, sizeof text) == 0)
        SetDlgItemInt(dialog, IDC_PORT_NUMBER, DEFAULT_SERVER_PORT, FALSE);
    BOOL hasName = GetDlgItemTextA(dialog, IDC_PORT_NAME, text, sizeof text) > 0;
    BOOL hasAddress = GetDlgItemTextA(dialog, IDC_ADDRESS, text, sizeof text) > 0;
    EnableControl(dialog, IDOK, hasName && hasAddress);
}

// Cancel stays usable whatever the flag, so a pending lookup can always be called off.
void EnableSetupControls(HWND dialog, BOOL enable) {
    static const int kInputs[] = {IDOK, IDC_ABOUT, IDC_PORT_NAME, IDC_ADDRESS, IDC_LPR, IDC_RAW};
    for (int id : kInputs) EnableControl(dialog, id, enable);
    if (IsChecked(dialog, IDC_LPR)) EnableControl(dialog, IDC_BYTE_COUNT, enable);
    if (IsChecked(dialog, IDC_RAW)) {
        EnableControl(dialog, IDC_PORT_NUMBER, enable);
        EnableControl(dialog, IDC_PORT_NUMBER_LABEL, enable);
    }
}

INT_PTR CALLBACK PortSetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    PortSettings *settings;
    switch (message) {
        case WM_INITDIALOG:
            settings = (PortSettings *)lParam;
            if (!settings) return EndDialog(dialog, 0), TRUE;
            settings->checkStarted = 0;
            settings->lookupHandle = NULL;
            SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)settings);
            InitPortSetupDialog(dialog, settings);
            return TRUE;
        case WM_COMMAND: return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        case UM_START_LOOKUP:
            if ((settings = Settings(dialog))) StartLookup(dialog, settings);
            return TRUE;
        case UM_LOOKUP_DONE:
            if ((settings = Settings(dialog))) LookupDone(dialog, settings, wParam, lParam);
            return TRUE;
        case WM_HELP: {
            const HELPINFO *info = (const HELPINFO *)lParam;
            DWORD context = info ? HelpContext(info->iCtrlId) : 0;
            if (context) WinHelpA(dialog, SETUP_HELP_FILE, HELP_CONTEXTPOPUP, context);
            return TRUE;
        }
        case WM_DESTROY:
            settings = Settings(dialog);
            if (settings && settings->checkStarted == 1 && settings->lookupHandle) {
                WSACancelAsyncRequest(settings->lookupHandle);
                settings->lookupHandle = NULL;
            }
            return TRUE;
        default: return FALSE;
    }
}
