// The names the monitor is known by outside its own code: the spooler's name for it, its
// registry key, its environment, and where the user switches and finds its trace. Also
// read by the setup program, the host's command line and the help writer.
#ifndef QVLMR_MONITOR_NAMES_H
#define QVLMR_MONITOR_NAMES_H

#define MONITORS_KEY_PATH "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors"
#define MONITOR_NAME "QV TCP/IP LMR Port"
#define MONITOR_KEY_PATH MONITORS_KEY_PATH "\\" MONITOR_NAME  // under HKEY_LOCAL_MACHINE
#define MONITOR_ENVIRONMENT "Windows 4.0"

#define TRACE_FILE_NAME "QVLMRMON.LOG"  // in the Windows folder
#define TRACE_FILE_LIMIT 262144         // past this the older half of the file goes

#endif
