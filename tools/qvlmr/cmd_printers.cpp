// printer add, printer list
#include <stdio.h>

#include <vector>

#include "cli.h"

namespace {

// The ports a printer may go on, as Windows offers them: the built-in ones that EnumPortsA
// lists with no monitor loaded here, and the monitor's, which are the values of its Ports
// key (the list it builds at start-up). Read without loading the monitor, so that a
// printer can be added while another qvlmr process prints.
bool PortListed(const std::string &port) {
    DWORD needed = 0, count = 0;
    EnumPortsA(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 1);
    if (EnumPortsA(nullptr, 1, buffer.data(), needed, &needed, &count))
        for (DWORD i = 0; i < count; ++i)
            if (lstrcmpiA(((PORT_INFO_1A *)buffer.data())[i].pName, port.c_str()) == 0) return true;
    HKEY ports;
    std::string path = std::string(kMonitorKey) + "\\Ports";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &ports) != ERROR_SUCCESS) return false;
    bool listed = false;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0;
         !listed && RegEnumValueA(ports, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof name)
        listed = lstrcmpiA(name, port.c_str()) == 0;
    RegCloseKey(ports);
    return listed;
}

}  // namespace

int CmdPrinter(Args &args) {
    if (args.empty()) return Usage("printer needs 'add NAME --port PORT' or 'list'");
    std::string verb = args[0];
    args.erase(args.begin());
    if (verb == "add") {
        std::string port;
        bool bad = false;
        if (!TakeOption(args, "--port", &port, &bad) || bad || port.empty() || args.size() != 1)
            return Usage("usage: qvlmr printer add NAME --port PORT");
        // As Windows does, a printer goes only on a port that a monitor lists (or a built-in one).
        if (!PortListed(port)) return Fail("printer add: no port named '" + port + "' (see qvlmr ports)");
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
