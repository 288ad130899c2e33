// One document through a MONITOR table as the spooler feeds it: OpenPort, StartDocPort,
// WritePort piece by piece, EndDocPort (only after a start), ClosePort; the monitor's
// start-up and the port list. It builds for the
// host tests and for the harness that drives the Windows module under Wine.
#ifndef QVLMR_TEST_TABLE_PRINT_H
#define QVLMR_TEST_TABLE_PRINT_H

#include <string>
#include <vector>

#include "../../src/monitor/monitor_table.h"

struct PrintResult {
    BOOL opened = FALSE, started = FALSE, written = TRUE, ended = FALSE;
    DWORD startError = 0, writeError = 0;
    size_t bytes = 0;  // what WritePort took
    bool ok() const { return started && written && ended; }
    // "start failed: <error>", or "written" or "write failed: <error>", then ", ended" or not
    std::string Outcome() const;
};

// The same on a port the caller opened and keeps open for further documents, as the Windows
// 95 spooler keeps each port open from its start to its end.
PrintResult PrintOnOpenPort(MONITOR &m, HANDLE port, const std::string &printer, DWORD job,
                            const std::string &data, DWORD level = 2, const std::string &document = "Report",
                            size_t chunk = 65536);
PrintResult PrintThroughTable(MONITOR &m, const std::string &port, const std::string &printer, DWORD job,
                              const std::string &data, DWORD level = 2,
                              const std::string &document = "Report", size_t chunk = 65536);

// The monitor started as the spooler starts it: the module entry for the process's attach
// (entry null where the platform's loader has run it), then InitializeMonitorEx into a
// zeroed table; what InitializeMonitorEx returned.
typedef BOOL(WINAPI *ModuleEntryFn)(HINSTANCE, DWORD, LPVOID);
typedef BOOL(WINAPI *InitializeMonitorFn)(LPSTR, LPMONITOR);
BOOL StartMonitorModule(ModuleEntryFn entry, HINSTANCE instance, InitializeMonitorFn init, MONITOR *table);

// EnumPorts level 1 as the spooler asks it, the size first and then the list: the names in
// the monitor's order, and in needed the bytes the list took; false when the list failed.
bool ListPortNames(MONITOR &m, std::vector<std::string> *names, DWORD *needed = nullptr);

#endif
