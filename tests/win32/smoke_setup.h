// QVSETUP.EXE under Wine, as a user runs it from the kit's folder (the harness's).
#ifndef QVLMR_SMOKE_SETUP_H
#define QVLMR_SMOKE_SETUP_H

#include <windows.h>

// Runs QVSETUP.EXE, checks what it said and did, and loads the monitor as the spooler does,
// from the Driver value it registered; null when that fails.
HMODULE InstallWithSetup();
// Unloads the monitor and runs "QVSETUP.EXE /U"; checks that monitor and DLL are gone.
void RemoveWithSetup(HMODULE monitor);

#endif
