// ports, port delete (port add and port configure: cmd_setup.cpp)
#include <stdio.h>

#include "cli.h"

namespace {

// The monitor says nothing about a name it does not know: ask its port list.
bool PortExists(MONITOR *monitor, const std::string &name) {
    DWORD needed = 0, count = 0;
    monitor->pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!monitor->pfnEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &count)) return true;
    for (DWORD i = 0; i < count; ++i)
        if (lstrcmpiA(((PORT_INFO_1A *)buffer.data())[i].pName, name.c_str()) == 0) return true;
    return false;
}

}  // namespace

int CmdPorts(Args &args) {
    std::string levelText = "1";
    bool bad = false;
    TakeOption(args, "--level", &levelText, &bad);
    if (bad || !args.empty()) return Usage("usage: qvlmr ports [--level 1|2]");
    if (levelText != "1" && levelText != "2") return Usage("--level must be 1 or 2");
    DWORD level = levelText == "1" ? 1 : 2;
    MONITOR *monitor = LoadMonitor();
    if (!monitor) return 1;
    DWORD needed = 0, count = 0;
    monitor->pfnEnumPorts(nullptr, level, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!monitor->pfnEnumPorts(nullptr, level, buffer.data(), needed, &needed, &count))
        return FailWin("EnumPorts", GetLastError());
    for (DWORD i = 0; i < count; ++i) {
        if (level == 1) {
            printf("%s\n", ((PORT_INFO_1A *)buffer.data())[i].pName);
        } else {
            PORT_INFO_2A &p = ((PORT_INFO_2A *)buffer.data())[i];
            printf("%s\t%s\t%s\t%u\n", p.pPortName, p.pMonitorName ? p.pMonitorName : "",
                   p.pDescription ? p.pDescription : "", (unsigned)p.fPortType);
        }
    }
    return 0;
}

int CmdPort(Args &args) {
    if (args.empty()) return Usage("port needs 'add', 'configure NAME' or 'delete NAME'");
    std::string verb = args[0];
    if (verb == "delete") {
        if (args.size() != 2) return Usage("usage: qvlmr port delete NAME");
        MONITOR *monitor = LoadMonitor();
        if (!monitor) return 1;
        if (!monitor->pfnDeletePort(nullptr, nullptr, (LPSTR)args[1].c_str())) {
            DWORD code = GetLastError();
            if (!PortExists(monitor, args[1]))
                return Fail("DeletePort failed: no port named '" + args[1] + "'");
            std::vector<qvhost::JobView> jobs = qvhost::Jobs();
            if (code != ERROR_ACCESS_DENIED || jobs.empty()) return FailWin("DeletePort", code);
            // The monitor keeps every port while any printer has jobs: name them.
            std::string holders;
            for (const qvhost::JobView &j : jobs)
                holders += (holders.empty() ? "" : ", ") + std::string("job ") + std::to_string(j.id) +
                           " on printer " + j.printer + " is " + JobState(j);
            return Fail("port " + args[1] + " is in use: " + holders + "; cancel " +
                        (jobs.size() == 1 ? "it" : "them") + " first");
        }
        return 0;
    }
    args.erase(args.begin());
    if (verb == "add") return CmdPortAdd(args);
    if (verb == "configure") return CmdPortConfigure(args);
    return Usage("unknown port command '" + verb + "'");
}
