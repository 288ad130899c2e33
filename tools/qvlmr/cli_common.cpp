#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "cli.h"


namespace {

const char *ErrorText(DWORD code) {
    switch (code) {
        case 0: return "success";
        case ERROR_FILE_NOT_FOUND: return "file not found";
        case ERROR_PATH_NOT_FOUND: return "path not found";
        case ERROR_ACCESS_DENIED: return "access denied";
        case ERROR_INVALID_HANDLE: return "invalid handle";
        case ERROR_NOT_ENOUGH_MEMORY: return "not enough memory";
        case ERROR_INVALID_PARAMETER: return "invalid parameter";
        case ERROR_NET_WRITE_FAULT: return "network write fault";
        case ERROR_CALL_NOT_IMPLEMENTED: return "not implemented";
        case ERROR_INSUFFICIENT_BUFFER: return "insufficient buffer";
        case ERROR_INVALID_LEVEL: return "invalid level";
        case ERROR_INVALID_PRINTER_NAME: return "invalid printer name";
        default: return "unknown error";
    }
}

std::string ModulePath() {
    if (const char *m = getenv("QVLMR_MODULE"); m && *m) return m;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "libqvlmrmon.so";
    exe[n] = 0;
    std::string dir(exe);
    return dir.substr(0, dir.rfind('/')) + "/libqvlmrmon.so";
}

MONITOR g_monitor;

}  // namespace

int FailWin(const std::string &operation, DWORD code) {
    fprintf(stderr, "%s failed: error %u (%s)\n", operation.c_str(), (unsigned)code, ErrorText(code));
    return 1;
}

int Fail(const std::string &message) {
    fprintf(stderr, "qvlmr: %s\n", message.c_str());
    return 1;
}

int Usage(const std::string &message) {
    fprintf(stderr, "qvlmr: %s\n", message.c_str());
    return 2;
}

const char kMonitorKey[] = MONITOR_KEY_PATH;

bool MonitorInstalled() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

int FailNotInstalled() {
    return Fail("the monitor is not installed in " + qvhost::Home() + " (run: qvlmr install)");
}

MONITOR *LoadMonitor() {
    // Without its key the spooler would never load the monitor, and nothing it did would last.
    if (!MonitorInstalled()) {
        FailNotInstalled();
        return nullptr;
    }
    // One spooler per state directory: a second monitor's start-up would delete the job
    // files of the jobs the first is delivering.
    std::string lockPath = qvhost::Home() + "/spooler.lock";
    int lock = open(lockPath.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
        Fail("another qvlmr process has the monitor loaded for " + qvhost::Home() +
             " (one spooler per state directory); try again when it has finished");
        return nullptr;
    }
    // Jobs left printing by a process that has gone are printing no more.
    for (DWORD id : qvhost::RecoverInterruptedJobs()) {
        qvhost::JobView job;
        if (qvhost::GetJob(id, &job))
            fprintf(stderr, "qvlmr: job %u on printer %s was interrupted; it stays queued until cancelled\n",
                    (unsigned)id, job.printer.c_str());
    }
    std::string error, path = ModulePath();
    HINSTANCE module = qvhost::LoadModule(path, &error);
    if (!module) {
        Fail("cannot load the monitor module " + path + ": " + error);
        return nullptr;
    }
    typedef BOOL(WINAPI * EntryFn)(HINSTANCE, DWORD, LPVOID);
    typedef BOOL(WINAPI * InitFn)(LPSTR, LPMONITOR);
    EntryFn entry = (EntryFn)qvhost::ModuleSymbol(module, "DllEntryPoint");
    InitFn init = (InitFn)qvhost::ModuleSymbol(module, "InitializeMonitorEx");
    if (!entry || !init) {
        Fail("the module " + path + " lacks DllEntryPoint or InitializeMonitorEx");
        return nullptr;
    }
    entry(module, DLL_PROCESS_ATTACH, nullptr);
    std::string root = kMonitorKey;
    if (!init(&root[0], &g_monitor)) {
        FailWin("InitializeMonitorEx", GetLastError());
        return nullptr;
    }
    qvhost::RegisterMonitorEnumPorts(g_monitor.pfnEnumPorts);
    return &g_monitor;
}

std::string ModuleVersion(std::string *error) {
    std::string path = ModulePath();
    HINSTANCE module = qvhost::LoadModule(path, error);
    if (!module) return "";
    std::string text = qvhost::ModuleVersionText(module, "FileVersion");
    if (text.empty()) *error = path + " has no version resource";
    return text;
}

bool TakeOption(Args &args, const std::string &name, std::string *value, bool *bad) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") return false;
        if (args[i] == name) {
            if (i + 1 >= args.size()) {
                *bad = true;
                args.erase(args.begin() + (long)i);
                return false;
            }
            *value = args[i + 1];
            args.erase(args.begin() + (long)i, args.begin() + (long)i + 2);
            return true;
        }
        if (args[i].compare(0, name.size() + 1, name + "=") == 0) {
            *value = args[i].substr(name.size() + 1);
            args.erase(args.begin() + (long)i);
            return true;
        }
    }
    return false;
}

bool TakeFlag(Args &args, const std::string &name) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") return false;
        if (args[i] == name) {
            args.erase(args.begin() + (long)i);
            return true;
        }
    }
    return false;
}

bool ParseNumber(const std::string &text, unsigned long long max, unsigned long long *out) {
    if (text.empty() || text.size() > 19) return false;
    unsigned long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (unsigned)(c - '0');
    }
    if (v > max) return false;
    *out = v;
    return true;
}
