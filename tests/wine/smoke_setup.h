// QVSETUP.EXE under Wine, as a user runs it from the kit's folder (the harness's).
#ifndef QVLMR_SMOKE_SETUP_H
#define QVLMR_SMOKE_SETUP_H

#include <windows.h>

// QVSETUP.EXE as users meet it: without the DLL beside it, /U before anything is installed,
// from a read-only kit in a folder whose path holds "-U", a second time. The monitor then
// loaded as the spooler does, from the Driver registered, and held; null when that fails.
HMODULE InstallWithSetup();
// QVSETUP.EXE from a kit with another DLL while the spooler holds the old one, Windows
// restarted (WININIT.INI applied); the new monitor loaded and held, or null.
HMODULE UpgradeWithSetup(HMODULE monitor);
// "QVSETUP.EXE /U" while printers use the monitor's ports (refused), then, the printers
// deleted, while the spooler holds the DLL (scheduled), and Windows restarted.
void RemoveWithSetup(HMODULE monitor);

#endif
