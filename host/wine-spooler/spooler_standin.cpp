// WINSPOOL.DRV stand-in: the part of the Windows 95 spooler that QVLMRMON.DLL calls, for
// running the real DLL under Wine, whose own spooler keeps no job status text and crashes on
// a level-2 SetJobA. Printers and jobs live in this process; job records are the platform's
// own JOB_INFO_2A and PRINTER_INFO_2A, packed as the spooler packs them (the record first,
// its texts after it in the caller's buffer). The harness plays the spooler and the user
// through the control calls of spooler_standin.h.
#include "spooler_standin.h"

#include "../spooler-rules/spooler_core.h"

#include <winspool.h>

#include <string.h>

namespace {

const int kMaxPrinters = 8, kMaxJobs = 64, kMaxTexts = 16, kText = 256;
const DWORD kPrinterMagic = 0x51565350;

struct Printer {
    char name[kText], port[kText];
};
struct Job {
    DWORD id, status;
    char printer[kText], document[kText], statusText[kText];
    char history[kMaxTexts][kText];
    int texts;
    bool sent;  // reported sent to the printer: no longer in the queue
};
struct PrinterHandle {
    DWORD magic;
    int printer;
};

CRITICAL_SECTION lock;
Printer printers[kMaxPrinters];
int printerCount = 0;
Job jobs[kMaxJobs];
int jobCount = 0;
DWORD nextJobId = 1;
MonitorEnumPortsFn monitorEnumPorts = nullptr;

const char kEnvironment[] = "Windows 4.0";
const char kDriver[] = "QV Smoke Driver";
// Where Windows 95 keeps its printers, each a key with its "Port": every process of the
// spooler's, QVSETUP.EXE's included, sees the same printers.
const char kPrintersKey[] = "System\\CurrentControlSet\\control\\Print\\Printers";

void MonitorKeyPath(char *path, int size, const char *name) {
    path[0] = 0;
    lstrcpynA(path, "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\", size);
    int used = lstrlenA(path);
    lstrcpynA(path + used, name, size - used);
}

// RegDeleteKeyA removes a key with subkeys on Windows 95 but not on NT or Wine: children first.
bool DeleteKeyTree(HKEY root, const char *path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        char child[256];
        while (RegEnumKeyA(key, 0, child, sizeof child) == ERROR_SUCCESS)
            if (!DeleteKeyTree(key, child)) break;
        RegCloseKey(key);
    }
    return RegDeleteKeyA(root, path) == ERROR_SUCCESS;
}

struct Locked {
    Locked() { EnterCriticalSection(&lock); }
    ~Locked() { LeaveCriticalSection(&lock); }
};

void Copy(char *to, const char *from) {
    lstrcpynA(to, from ? from : "", kText);
}

// What the stand-in answers where no Windows 9x document settles it, switched by an
// environment variable, which the setup program's process inherits from the harness's:
// true when the variable is missing or holds the first answer.
const char kAddExistingSwitch[] = "QVSTANDIN_ADD_EXISTING";  // AddMonitorA for a monitor it has: 3006, other
const char kDeleteInUseSwitch[] =
    "QVSTANDIN_DELETE_IN_USE";  // DeleteMonitorA with printers on its ports: refuse, remove
bool Answer(const char *name, const char *first) {
    char value[32];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length == 0 || length >= sizeof value || lstrcmpiA(value, first) == 0;
}

// Calls of the stand-in counted in the registry, where the harness reads them whichever
// process made them.
const char kCallsKey[] = "Software\\QV Spooler Stand-in";
const char kAddMonitorCalls[] = "AddMonitorA calls";
void CountCall(const char *name) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCallsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        return;
    DWORD count = 0, size = sizeof count;
    RegQueryValueExA(key, name, nullptr, nullptr, (BYTE *)&count, &size);
    ++count;
    RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&count, sizeof count);
    RegCloseKey(key);
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

int FindPrinter(const char *name) {
    for (int i = 0; name && i < printerCount; ++i)
        if (lstrcmpiA(printers[i].name, name) == 0) return i;
    return -1;
}

// A printer recorded in the registry uses one of the monitor's ports (the values of its
// Ports key), compared without regard to case.
bool PrinterUsesPortOf(const char *monitorPath) {
    char portsPath[512];
    lstrcpynA(portsPath, monitorPath, sizeof portsPath - 8);
    lstrcatA(portsPath, "\\Ports");
    HKEY printersKey, portsKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrintersKey, 0, KEY_READ, &printersKey) != ERROR_SUCCESS)
        return false;
    bool used = false;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, portsPath, 0, KEY_READ, &portsKey) == ERROR_SUCCESS) {
        char printer[kText];
        for (DWORD i = 0; !used && RegEnumKeyA(printersKey, i, printer, sizeof printer) == ERROR_SUCCESS;
             ++i) {
            char port[kText] = {0};
            DWORD size = sizeof port - 1;
            HKEY one;
            if (RegOpenKeyExA(printersKey, printer, 0, KEY_READ, &one) != ERROR_SUCCESS) continue;
            if (RegQueryValueExA(one, "Port", nullptr, nullptr, (BYTE *)port, &size) == ERROR_SUCCESS)
                used = RegQueryValueExA(portsKey, port, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
            RegCloseKey(one);
        }
        RegCloseKey(portsKey);
    }
    RegCloseKey(printersKey);
    return used;
}

Job *FindJob(DWORD id) {
    for (int i = 0; i < jobCount; ++i)
        if (jobs[i].id == id && !jobs[i].sent) return &jobs[i];
    return nullptr;
}

int HandlePrinter(HANDLE h) {
    PrinterHandle *p = (PrinterHandle *)h;
    return p && p->magic == kPrinterMagic ? p->printer : -1;
}

JobFields Fields(const Job &j) {
    JobFields f = {};
    f.id = j.id;
    f.status = j.status;
    f.printer = j.printer;
    f.machine = "QVSMOKE";
    f.user = "user";
    f.document = j.document;
    f.driver = kDriver;
    f.statusText = j.statusText;
    return f;
}

bool Control(Job *job, DWORD command) {
    JobChange change;
    if (!JobCommandChange(command, &change)) return false;
    job->status = (job->status | change.set) & ~change.clear;
    if (change.leavesQueue) job->sent = true;
    return true;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&lock);
    return TRUE;
}

// ---- what the monitor calls ------------------------------------------------------------

BOOL WINAPI OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA) {
    if (!printer) return Fail(ERROR_INVALID_PARAMETER);
    Locked l;
    int index = FindPrinter(name);
    if (index < 0) return Fail(ERROR_INVALID_PRINTER_NAME);
    PrinterHandle *h = (PrinterHandle *)HeapAlloc(GetProcessHeap(), 0, sizeof(PrinterHandle));
    if (!h) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    h->magic = kPrinterMagic;
    h->printer = index;
    *printer = (HANDLE)h;
    return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE printer) {
    if (HandlePrinter(printer) < 0) return Fail(ERROR_INVALID_HANDLE);
    ((PrinterHandle *)printer)->magic = 0;
    HeapFree(GetProcessHeap(), 0, printer);
    return TRUE;
}

BOOL WINAPI GetJobA(HANDLE printer, DWORD id, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
    Locked l;
    int p = HandlePrinter(printer);
    if (p < 0) return Fail(ERROR_INVALID_HANDLE);
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    Job *job = FindJob(id);
    if (!job || lstrcmpiA(job->printer, printers[p].name) != 0) return Fail(ERROR_INVALID_PARAMETER);
    JobFields fields = Fields(*job);
    return PackJobRecords(&fields, 1, (DWORD)-1, buffer, size, needed, nullptr);
}

BOOL WINAPI SetJobA(HANDLE printer, DWORD id, DWORD level, LPBYTE info, DWORD command) {
    Locked l;
    int p = HandlePrinter(printer);
    if (p < 0) return Fail(ERROR_INVALID_HANDLE);
    Job *job = FindJob(id);
    if (!job || lstrcmpiA(job->printer, printers[p].name) != 0) return Fail(ERROR_INVALID_PARAMETER);
    const char *text = nullptr;
    if (!SetJobStatusText(level, info, &text))
        return Fail(level > 2 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
    if (level != 0) {
        // Of a record the spooler takes the status text (and not the status word).
        Copy(job->statusText, text);
        if (job->texts < kMaxTexts &&
            (job->texts == 0 || lstrcmpA(job->history[job->texts - 1], job->statusText)))
            Copy(job->history[job->texts++], job->statusText);
    }
    if (command && !Control(job, command)) return Fail(ERROR_INVALID_PARAMETER);
    return TRUE;
}

BOOL WINAPI EnumJobsA(HANDLE printer, DWORD first, DWORD count, DWORD level, LPBYTE buffer, DWORD size,
                      LPDWORD needed, LPDWORD returned) {
    Locked l;
    int p = HandlePrinter(printer);
    if (p < 0) return Fail(ERROR_INVALID_HANDLE);
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    JobFields listed[kMaxJobs];
    DWORD n = 0, position = 0;
    for (int i = 0; i < jobCount; ++i) {
        if (jobs[i].sent || lstrcmpiA(jobs[i].printer, printers[p].name) != 0) continue;
        if (position++ >= first && n < count) listed[n++] = Fields(jobs[i]);
    }
    return PackJobRecords(listed, n, first, buffer, size, needed, returned);
}

// The printers the registry records, so that every process sees the same ones (the setup
// program's too); the jobs this process holds.
BOOL WINAPI EnumPrintersA(DWORD flags, LPSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned) {
    Locked l;
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    Printer recorded[kMaxPrinters];
    PrinterFields listed[kMaxPrinters];
    DWORD n = 0;
    HKEY key;
    if ((flags & PRINTER_ENUM_LOCAL) &&
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrintersKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        while (n < (DWORD)kMaxPrinters && RegEnumKeyA(key, n, recorded[n].name, kText) == ERROR_SUCCESS) {
            HKEY one;
            DWORD portSize = kText - 1;
            recorded[n].port[0] = 0;
            if (RegOpenKeyExA(key, recorded[n].name, 0, KEY_READ, &one) == ERROR_SUCCESS) {
                RegQueryValueExA(one, "Port", nullptr, nullptr, (BYTE *)recorded[n].port, &portSize);
                RegCloseKey(one);
            }
            listed[n] = {recorded[n].name, recorded[n].port, kDriver, 0, 0};
            for (int j = 0; j < jobCount; ++j)
                if (!jobs[j].sent && lstrcmpiA(jobs[j].printer, recorded[n].name) == 0) ++listed[n].jobs;
            ++n;
        }
        RegCloseKey(key);
    }
    return PackPrinterRecords(listed, n, buffer, size, needed, returned);
}

// The ports of every monitor: the built-in ones, then the loaded monitor's (what SPOOLSS.DLL's
// EnumPortsA gives; the SPOOLSS.DLL stand-in forwards here).
BOOL WINAPI EnumPortsA(LPSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    if (level != 1 && level != 2) return Fail(ERROR_INVALID_LEVEL);
    const DWORD kMaxPorts = 32;
    PortFields all[kMaxPorts];
    DWORD n = 0;
    for (; n < kBuiltInPortCount; ++n) all[n] = kBuiltInPorts[n];
    DWORD monitorNeed = 0, monitorCount = 0;
    LPBYTE list = nullptr;
    if (monitorEnumPorts) {
        monitorEnumPorts(nullptr, MONITOR_PORTS_LEVEL, nullptr, 0, &monitorNeed, &monitorCount);
        list = monitorNeed ? (LPBYTE)HeapAlloc(GetProcessHeap(), 0, monitorNeed) : nullptr;
        if (list &&
            monitorEnumPorts(nullptr, MONITOR_PORTS_LEVEL, list, monitorNeed, &monitorNeed, &monitorCount))
            for (DWORD i = 0; i < monitorCount && n < kMaxPorts; ++i) {
                PORT_INFO_2A *pi = (PORT_INFO_2A *)list + i;
                all[n++] = {pi->pPortName, pi->pMonitorName, pi->pDescription};
            }
    }
    BOOL packed = PackPortRecords(level, all, n, buffer, size, needed, returned);
    if (list) HeapFree(GetProcessHeap(), 0, list);
    return packed;
}

// ---- what the spooler and its user do (spooler_standin.h) -------------------------------

BOOL WINAPI QvAddPrinter(LPCSTR name, LPCSTR port) {
    Locked l;
    int index = FindPrinter(name);
    if (index < 0) {
        if (printerCount == kMaxPrinters || !name || !*name) return FALSE;
        index = printerCount++;
        Copy(printers[index].name, name);
    }
    Copy(printers[index].port, port);
    char path[512];
    lstrcpynA(path, kPrintersKey, sizeof path - kText - 2);
    lstrcatA(path, "\\");
    lstrcatA(path, printers[index].name);
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        return FALSE;
    RegSetValueExA(key, "Port", 0, REG_SZ, (const BYTE *)printers[index].port,
                   (DWORD)lstrlenA(printers[index].port) + 1);
    RegCloseKey(key);
    return TRUE;
}

BOOL WINAPI QvDeletePrinter(LPCSTR name) {
    Locked l;
    if (!name || lstrlenA(name) >= kText) return FALSE;
    char path[512];
    lstrcpynA(path, kPrintersKey, sizeof path - kText - 2);
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    BOOL recorded = RegDeleteKeyA(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS;
    int index = FindPrinter(name);
    if (index >= 0) printers[index] = printers[--printerCount];
    return recorded || index >= 0;
}

DWORD WINAPI QvAddJob(LPCSTR printer, LPCSTR document) {
    Locked l;
    int p = FindPrinter(printer);
    if (p < 0 || jobCount == kMaxJobs) return 0;
    Job &j = jobs[jobCount++];
    memset(&j, 0, sizeof j);
    j.id = nextJobId++;
    j.status = JOB_STATUS_PRINTING;
    Copy(j.printer, printers[p].name);
    Copy(j.document, document);
    return j.id;
}

BOOL WINAPI QvUserControl(DWORD id, DWORD command) {
    Locked l;
    Job *job = FindJob(id);
    return job && command != JOB_CONTROL_SENT_TO_PRINTER && Control(job, command);
}

BOOL WINAPI QvJobState(DWORD id, LPDWORD status, LPSTR text, DWORD textSize) {
    Locked l;
    Job *job = FindJob(id);
    if (!job) return FALSE;
    if (status) *status = job->status;
    if (text && textSize) lstrcpynA(text, job->statusText, (int)textSize);
    return TRUE;
}

DWORD WINAPI QvStatusHistory(DWORD id, LPSTR buffer, DWORD size) {
    Locked l;
    DWORD used = 0;
    for (int i = 0; i < jobCount; ++i) {
        if (jobs[i].id != id) continue;
        for (int t = 0; t < jobs[i].texts; ++t) {
            DWORD n = (DWORD)lstrlenA(jobs[i].history[t]);
            if (used + n + 2 > size) break;
            memcpy(buffer + used, jobs[i].history[t], n);
            used += n;
            buffer[used++] = '\n';
        }
    }
    if (size) buffer[used < size ? used : size - 1] = 0;
    return used;
}

BOOL WINAPI QvJobSent(DWORD id) {
    Locked l;
    for (int i = 0; i < jobCount; ++i)
        if (jobs[i].id == id) return jobs[i].sent;
    return FALSE;
}

// The spooler's monitor registration, as Windows 95 has it: the monitor and its Driver are
// recorded under the Monitors key, the DLL is loaded and started through InitializeMonitorEx;
// a monitor whose Driver is recorded already is refused. Only the "Windows 4.0" environment.
BOOL WINAPI AddMonitorA(LPSTR, DWORD level, LPBYTE info) {
    CountCall(kAddMonitorCalls);
    if (level != 2 || !info) return Fail(ERROR_INVALID_LEVEL);
    MONITOR_INFO_2A *m = (MONITOR_INFO_2A *)info;
    if (!m->pName || !m->pDLLName || !m->pEnvironment) return Fail(ERROR_INVALID_PARAMETER);
    if (lstrcmpiA(m->pEnvironment, kEnvironment) != 0) return Fail(ERROR_INVALID_ENVIRONMENT);
    char path[512];
    MonitorKeyPath(path, sizeof path, m->pName);
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        return Fail(ERROR_ACCESS_DENIED);
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, "Driver", nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        RegCloseKey(key);
        // No Windows 9x document gives this answer; NT's is 3006.
        return Fail(Answer(kAddExistingSwitch, "3006") ? ERROR_PRINT_MONITOR_ALREADY_INSTALLED
                                                       : ERROR_INVALID_PARAMETER);
    }
    RegSetValueExA(key, "Driver", 0, REG_SZ, (const BYTE *)m->pDLLName, (DWORD)lstrlenA(m->pDLLName) + 1);
    RegCloseKey(key);
    typedef BOOL(WINAPI * InitFn)(LPSTR, LPVOID);
    char file[MAX_PATH];  // the spooler takes monitors from the SYSTEM folder only
    UINT length = GetSystemDirectoryA(file, MAX_PATH - 1);
    HMODULE dll = nullptr;
    if (length && length < MAX_PATH - 1) {
        lstrcpynA(file + length, "\\", MAX_PATH - length);
        lstrcpynA(file + length + 1, m->pDLLName, MAX_PATH - length - 1);
        dll = LoadLibraryA(file);
    }
    InitFn init = dll ? (InitFn)(void *)GetProcAddress(dll, "InitializeMonitorEx") : nullptr;
    void *table[32] = {};  // the thirteen slots of a Windows 95 MONITOR table, with room to spare
    if (!init || !init(path, table)) {
        DWORD code = !dll ? ERROR_MOD_NOT_FOUND : !init ? ERROR_PROC_NOT_FOUND : GetLastError();
        if (dll) FreeLibrary(dll);
        // Undo only the registration: ports merged from a .reg before stay.
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "Driver");
            RegCloseKey(key);
        }
        return Fail(code);
    }
    return TRUE;
}

// Removes the monitor's key with its ports; refused for a monitor that is not there, and
// while a printer prints to one of its ports.
BOOL WINAPI DeleteMonitorA(LPSTR, LPSTR environment, LPSTR name) {
    if (!name) return Fail(ERROR_INVALID_PARAMETER);
    if (environment && lstrcmpiA(environment, kEnvironment) != 0) return Fail(ERROR_INVALID_ENVIRONMENT);
    char path[512];
    MonitorKeyPath(path, sizeof path, name);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key)) return Fail(ERROR_UNKNOWN_PRINT_MONITOR);
    RegCloseKey(key);
    // NT refuses while printers use the ports; no Windows 9x document says Windows 95 does.
    if (PrinterUsesPortOf(path) && Answer(kDeleteInUseSwitch, "refuse")) return Fail(ERROR_BUSY);
    return DeleteKeyTree(HKEY_LOCAL_MACHINE, path) ? TRUE : Fail(ERROR_ACCESS_DENIED);
}

// The monitors the registry records with a Driver, as MONITOR_INFO_1A records, their names
// after them in the caller's buffer.
BOOL WINAPI EnumMonitorsA(LPSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    if (level != 1) return Fail(ERROR_INVALID_LEVEL);
    const DWORD kMaxMonitors = 16;
    char names[kMaxMonitors][kText];
    DWORD n = 0, bytes = 0;
    HKEY monitors;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors", 0, KEY_READ,
                      &monitors) == ERROR_SUCCESS) {
        for (DWORD i = 0; n < kMaxMonitors && RegEnumKeyA(monitors, i, names[n], kText) == ERROR_SUCCESS;
             ++i) {
            HKEY one;
            bool driver = false;
            if (RegOpenKeyExA(monitors, names[n], 0, KEY_READ, &one) == ERROR_SUCCESS) {
                driver = RegQueryValueExA(one, "Driver", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
                RegCloseKey(one);
            }
            if (driver) bytes += sizeof(MONITOR_INFO_1A) + (DWORD)lstrlenA(names[n++]) + 1;
        }
        RegCloseKey(monitors);
    }
    if (needed) *needed = bytes;
    if (returned) *returned = 0;
    if (!buffer || size < bytes) return Fail(ERROR_INSUFFICIENT_BUFFER);
    LPBYTE text = buffer + bytes;
    for (DWORD i = 0; i < n; ++i) {
        DWORD length = (DWORD)lstrlenA(names[i]) + 1;
        text -= length;
        memcpy(text, names[i], length);
        ((MONITOR_INFO_1A *)buffer)[i].pName = (LPSTR)text;
    }
    if (returned) *returned = n;
    return TRUE;
}

DWORD WINAPI QvAddMonitorCalls() {
    DWORD count = 0, size = sizeof count;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCallsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, kAddMonitorCalls, nullptr, nullptr, (BYTE *)&count, &size);
        RegCloseKey(key);
    }
    return count;
}

void WINAPI QvRegisterMonitor(MonitorEnumPortsFn enumPorts) {
    Locked l;
    monitorEnumPorts = enumPorts;
}

}  // extern "C"
