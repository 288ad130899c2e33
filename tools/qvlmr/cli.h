// Shared pieces of the qvlmr command line.
#ifndef QVLMR_CLI_H
#define QVLMR_CLI_H

#include <qvlmr_host.h>

#include <string>
#include <vector>

#include "monitor_names.h"
#include "monitor_table.h"

typedef std::vector<std::string> Args;

// One line on stderr: "<operation> failed: error N (text)"; returns 1.
int FailWin(const std::string &operation, DWORD code);
// One line on stderr; returns 1 (2 for usage errors).
int Fail(const std::string &message);
int Usage(const std::string &message);

// Loads the monitor module as the spooler does and starts it; null on failure (reported).
extern const char kMonitorKey[];  // under HKEY_LOCAL_MACHINE
bool MonitorInstalled();
int FailNotInstalled();  // the one line that says so; returns 1
MONITOR *LoadMonitor();

// Option helpers: take "--name VALUE" out of args.
bool TakeOption(Args &args, const std::string &name, std::string *value, bool *bad);
bool TakeFlag(Args &args, const std::string &name);
bool ParseNumber(const std::string &text, unsigned long long max, unsigned long long *out);

// "queued", "printing", "paused", "being deleted" or "interrupted", as a user would say it.
std::string JobState(const qvhost::JobView &job);
// The module's version, from its version resource; "" when it has none.
std::string ModuleVersion(std::string *error);

int CmdInstall(Args &args);
int CmdReg(Args &args);
int CmdPorts(Args &args);
int CmdPort(Args &args);
int CmdPortAdd(Args &args);
int CmdPortConfigure(Args &args);
int CmdAbout(Args &args);
int CmdPrinter(Args &args);
int CmdJobs(Args &args);
int CmdJobControl(const std::string &verb, Args &args);
int CmdWatch(Args &args);
int CmdPrint(Args &args);
int CmdTrace(Args &args);

#endif
