// printer add, printer list
#include <stdio.h>

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
