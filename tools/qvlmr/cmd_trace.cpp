// trace on|off|show: the monitor's trace, switched by its registry value and read back.
#include <stdio.h>

#include <fstream>
#include <iostream>

#include "cli.h"
#include "../../src/config/value_names.h"
#include "monitor_names.h"

namespace {

std::string TraceWindowsPath() {
    char windows[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows) return "";
    return std::string(windows, length) + "\\" TRACE_FILE_NAME;
}

int Switch(bool on) {
    if (!MonitorInstalled()) return FailNotInstalled();
    std::string path = std::string(kMonitorKey) + "\\Config";
    HKEY key;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS) return FailWin("RegCreateKeyEx", (DWORD)r);
    DWORD value = on ? 1 : 0;
    r = RegSetValueExA(key, TRACE_VALUE, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return FailWin("RegSetValueEx", (DWORD)r);
    printf("trace %s: %s (read when a job starts)\n", on ? "on" : "off", TraceWindowsPath().c_str());
    return 0;
}

}  // namespace

int CmdTrace(Args &args) {
    if (args.size() != 1) return Usage("usage: qvlmr trace on|off|show");
    if (args[0] == "on" || args[0] == "off") return Switch(args[0] == "on");
    if (args[0] != "show") return Usage("unknown trace command '" + args[0] + "' (on, off or show)");
    std::string windowsPath = TraceWindowsPath();
    std::ifstream in(qvhost::MapPath(windowsPath.c_str()), std::ios::binary);
    if (!in) return Fail("trace: no trace file " + windowsPath + " (switch it on with 'qvlmr trace on')");
    std::cout << in.rdbuf();
    return 0;
}
