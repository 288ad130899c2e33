// What the spooler knows of the monitor, found out by looking rather than from the error
// codes of AddMonitorA and DeleteMonitorA, which only Windows NT documents.
#ifndef QVSETUP_SPOOLER_H
#define QVSETUP_SPOOLER_H

#include <windows.h>

// The spooler lists the monitor (EnumMonitorsA), or records it: its key with a Driver.
bool MonitorInstalled();
// The local printers that print to one of the monitor's ports (the values of its Ports
// key; a printer's port list may hold several, comma-separated), letter case aside: their
// names, comma-separated, in names; how many. -1 when the printers cannot be listed.
int PrintersOnMonitorPorts(char *names, int capacity);

#endif
