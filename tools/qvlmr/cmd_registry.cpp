// install, reg import, reg export
#include <stdio.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "cli.h"

int CmdInstall(Args &args) {
    if (!args.empty()) return Usage("install takes no arguments");
    HKEY key;
    DWORD disposition = 0;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (r != ERROR_SUCCESS) return FailWin("RegCreateKeyEx", (DWORD)r);
    static const char driver[] = "QVLMRMON.DLL";
    r = RegSetValueExA(key, "Driver", 0, REG_SZ, (const BYTE *)driver, sizeof driver);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return FailWin("RegSetValueEx", (DWORD)r);
    printf("%s: HKEY_LOCAL_MACHINE\\%s\n",
           disposition == REG_CREATED_NEW_KEY ? "installed" : "already installed", kMonitorKey);
    return 0;
}

int CmdReg(Args &args) {
    if (args.empty()) return Usage("reg needs 'import FILE|-' or 'export [KEY]'");
    std::string verb = args[0];
    if (verb == "import") {
        if (args.size() != 2) return Usage("reg import takes one FILE or -");
        std::stringstream text;
        if (args[1] == "-") {
            text << std::cin.rdbuf();
        } else {
            std::ifstream in(args[1], std::ios::binary);
            if (!in) return Fail("cannot read " + args[1]);
            text << in.rdbuf();
        }
        std::string error;
        if (!qvhost::ImportRegText(text.str(), &error)) return Fail("reg import: " + error);
        return 0;
    }
    if (verb == "export") {
        args.erase(args.begin());
        bool exact = TakeFlag(args, "--exact");
        if (args.size() > 1) return Usage("usage: qvlmr reg export [--exact] [KEY]");
        fputs(qvhost::ExportRegText(args.empty() ? "" : args[0], exact).c_str(), stdout);
        return 0;
    }
    return Usage("unknown reg command '" + verb + "'");
}
