// qvlmr: the host spooler and command line around the monitor module.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"

namespace {

const char kHelp[] =
    "usage: qvlmr [--home DIR] COMMAND [ARGS]   |   qvlmr --version\n"
    "  install                          register the monitor (creates its key)\n"
    "  reg import FILE|-                merge a .reg text into the registry\n"
    "  reg export [--exact] [KEY]       print the registry, or one subtree, as .reg text\n"
    "                                   (--exact: every value byte for byte)\n"
    "  ports [--level 1|2]              list the ports (EnumPorts)\n"
    "  port add [FIELDS]                add a port (AddPort): a client's proposal, or the dialog\n"
    "  port configure NAME [FIELDS]     change a port in the setup dialog (ConfigurePort)\n"
    "      FIELDS are typed into the dialog, then OK is pressed: --name TEXT --address TEXT\n"
    "      --lpr --raw --byte-count --no-byte-count --port-number TEXT --cancel\n"
    "      message boxes go to stderr as \"<caption>: <text>\"; exit 0 when saved\n"
    "  port delete NAME                 delete a port (DeletePort)\n"
    "  about [--layout]                 the About box's painted lines\n"
    "  printer add NAME --port PORT     add a printer of the host spooler on a port\n"
    "  printer list                     list the printers\n"
    "  print --printer NAME [--title TEXT] [--level 1|2] [--chunk BYTES] [FILE|-]\n"
    "                                   queue a job and print it through the monitor\n"
    "  jobs [--printer NAME]            list the queued jobs\n"
    "  pause JOB | resume JOB | cancel JOB\n"
    "  watch PRINTER [--refreshes N]    the printer's queue window; refreshes on F5\n"
    "  trace on|off|show                the monitor's trace of each job: switch it (read when a\n"
    "                                   job starts), or print it (C:\\WINDOWS\\QVLMRMON.LOG)\n"
    "environment: QVLMR_HOME (state directory); QVLMR_HOSTS=name=a.b.c.d,... resolves\n"
    "  only those names (for trying the setup dialog's name lookup offline)\n";

// QVLMR_HOSTS: "name=address,..." replaces name resolution by these entries.
bool UseHostList(const char *list) {
    std::string text = list;
    qvhost::UseOnlyHostEntries(true);
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find(',', at);
        if (end == std::string::npos) end = text.size();
        std::string entry = text.substr(at, end - at);
        size_t eq = entry.find('=');
        if (!entry.empty()) {
            if (eq == std::string::npos || eq == 0) return false;
            qvhost::AddHostEntry(entry.substr(0, eq), entry.substr(eq + 1));
        }
        at = end + 1;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    Args args(argv + 1, argv + argc);
    std::string home;
    bool bad = false;
    if (TakeOption(args, "--home", &home, &bad) && home.empty()) return Usage("--home needs a directory");
    if (bad) return Usage("--home needs a directory");
    if (!args.empty() && args[0] == "--version") {
        if (args.size() > 1) return Usage("--version takes no arguments");
        std::string error, module = ModuleVersion(&error);
        if (module.empty()) return Fail("cannot read the monitor module's version: " + error);
        printf("qvlmr %s (host spooler and command line)\nmonitor module %s\n", QVLMR_TOOL_VERSION,
               module.c_str());
        return 0;
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        fputs(kHelp, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    std::string error;
    if (!qvhost::Open(home, &error)) return Fail(error);
    if (const char *hosts = getenv("QVLMR_HOSTS"); hosts && !UseHostList(hosts))
        return Usage("QVLMR_HOSTS must read name=address[,name=address...]");
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "install") return CmdInstall(args);
    if (command == "reg") return CmdReg(args);
    if (command == "ports") return CmdPorts(args);
    if (command == "port") return CmdPort(args);
    if (command == "printer") return CmdPrinter(args);
    if (command == "print") return CmdPrint(args);
    if (command == "jobs") return CmdJobs(args);
    if (command == "pause" || command == "resume" || command == "cancel") return CmdJobControl(command, args);
    if (command == "watch") return CmdWatch(args);
    if (command == "about") return CmdAbout(args);
    if (command == "trace") return CmdTrace(args);
    return Usage("unknown command '" + command + "' (see qvlmr --help)");
}
