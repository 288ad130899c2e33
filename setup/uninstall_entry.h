// The monitor's entry in Control Panel, Add/Remove Programs: a key under the Uninstall key
// with the name shown and the command that removes it, which runs the setup program's own
// copy in SYSTEM with /U.
#ifndef QVSETUP_UNINSTALL_ENTRY_H
#define QVSETUP_UNINSTALL_ENTRY_H

#define SETUP_COPY_NAME "QVLMRSET.EXE"  // the setup program's copy in SYSTEM, an 8.3 name of its own

// setupCopy is the full path of that copy; false when the entry could not be written.
bool WriteUninstallEntry(const char *setupCopy);
void RemoveUninstallEntry();

#endif
