// printer add, printer list
#include <stdio.h>

#include <vector>

#include "cli.h"

int CmdPrinter(Args &args) {
    if (args.empty()) return Usage("printer needs 'add NAME --port PORT' or 'list'");
    std::string verb = args[0];
    args.erase(args.begin());
    if (verb == "add") {
        std::string port;
        bool bad = false;
        if (!TakeOption(args, "--port", &port, &bad) || bad || port.empty() || args.size() != 1)
            return Usage("usage: qvlmr printer add NAME --port PORT");
        // As Windows does, a printer goes only on a port that a monitor lists (or a built-in
        // one); the monitor's ports come from its EnumPorts, so it is loaded when installed.
        if (MonitorInstalled() && !LoadMonitor()) return 1;
        DWORD needed = 0, count = 0;
        EnumPortsA(nullptr, 1, nullptr, 0, &needed, &count);
        std::vector<BYTE> buffer(needed + 1);
        bool listed = false;
        if (EnumPortsA(nullptr, 1, buffer.data(), needed, &needed, &count))
            for (DWORD i = 0; i < count; ++i)
                listed = listed || lstrcmpiA(((PORT_INFO_1A *)buffer.data())[i].pName, port.c_str()) == 0;
        if (!listed) return Fail("printer add: no port named '" + port + "' (see qvlmr ports)");
        std::string error;
        if (!qvhost::AddPrinter(args[0], port, &error)) return Fail("printer add: " + error);
        return 0;
    }
    if (verb == "list") {
        if (!args.empty()) return Usage("printer list takes no arguments");
        for (const qvhost::PrinterView &p : qvhost::Printers())
            printf("%s\t%s\t%u job(s)%s\n", p.name.c_str(), p.port.c_str(), (unsigned)p.jobs,
                   (p.status & PRINTER_STATUS_PAUSED) ? "\tpaused" : "");
        return 0;
    }
    return Usage("unknown printer command '" + verb + "'");
}
