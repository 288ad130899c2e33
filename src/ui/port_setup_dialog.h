// The port setup dialog (templates 400 for a new port, 401 for an existing one).
#ifndef QVLMR_PORT_SETUP_DIALOG_H
#define QVLMR_PORT_SETUP_DIALOG_H

#include <windows.h>

#include "port_settings.h"

#define UM_START_LOOKUP (WM_USER + 1)
#define UM_LOOKUP_DONE (WM_USER + 2)
#define SETUP_HELP_FILE "QvLMRmon.hlp"

// lParam of WM_INITDIALOG is the PortSettings record; the dialog ends with 1 once the
// settings are saved, 0 when cancelled or when a new port's record cannot be made.
INT_PTR CALLBACK PortSetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void InitPortSetupDialog(HWND dialog, PortSettings *settings);
// OK is usable exactly when name and address are filled; an empty port number is 9100.
void RequiredFieldsPresent(HWND dialog);
void EnableSetupControls(HWND dialog, BOOL enable);
// The OK button: checks the entries in order, then saves or starts the name lookup.
void CheckSetupEntries(HWND dialog, PortSettings *settings);
void SavePortSettings(HWND dialog, PortSettings *settings);
// A message box of the setup dialog: caption 310, the text of textId, stop icon.
void ShowSetupError(HWND dialog, UINT textId);
void FocusControl(HWND dialog, int id);

#endif
