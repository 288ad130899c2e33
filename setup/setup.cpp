// QVSETUP.EXE: installs QVLMRMON.DLL on Windows 95/98/Me and registers it with the spooler
// as the monitor "QV TCP/IP LMR Port"; "QVSETUP /U", or Add/Remove Programs, removes it
// again. No C runtime.
//
// The spooler keeps the monitor loaded from its start to its end, and Windows 9x holds a
// loaded DLL's file. Whether a file is held is found out by opening it with no sharing,
// never from what a copy or a delete answers (the Windows 95 reference has DeleteFile
// delete an open file): a held file is replaced or deleted through WININIT.INI at the next
// start, as Windows 9x installers do. Whether the monitor is installed, and whether
// printers use its ports, is looked up too: the codes AddMonitorA and DeleteMonitorA
// answer with are documented for Windows NT only, so they are only reported. Files
// copied from a CD are read-only: each file set down here is made writable.
#include <windows.h>
#include <winsock.h>
#include <winspool.h>

#include "monitor_names.h"
#include "setup_files.h"
#include "setup_spooler.h"
#include "uninstall_entry.h"
#include "wininit.h"

namespace {

const char kDllName[] = "QVLMRMON.DLL";
const char kDllPending[] = "QVLMRMON.NEW";  // the new DLL, until WININIT puts it in place
const char kHelpName[] = "QVLMRMON.HLP";    // the setup dialog's help, looked for in SYSTEM
const char kHelpPending[] = "QVLMRMON.HNW";
const char kHelpIndex[] = "QVLMRMON.GID";  // what WinHelp writes beside the help file
const char kSetupPending[] = "QVLMRSET.NEW";
const char kTitle[] = MONITOR_NAME " Setup";

int Say(const char *text, UINT icon) {
    MessageBoxA(0, text, kTitle, MB_OK | icon);
    return icon == MB_ICONINFORMATION ? 0 : 1;
}

// A message after which Windows must restart: the user is asked, and Windows restarts on Yes.
int SayAndOfferRestart(const char *text, UINT icon) {
    char message[1024];
    lstrcpynA(message, text, sizeof message - 32);
    lstrcatA(message, "\n\nRestart Windows now?");
    if (MessageBoxA(0, message, kTitle, MB_YESNO | icon) == IDYES) ExitWindowsEx(EWX_REBOOT, 0);
    return icon == MB_ICONINFORMATION ? 0 : 1;
}

bool IsUninstallArgument(const char *text, int length) {
    return length == 2 && (text[0] == '/' || text[0] == '-') && (text[1] == 'u' || text[1] == 'U');
}

// "/U" or "-U", in any case, as an argument of its own after the program's name, quoted or
// not; the program's own path ("C:\QV-UTIL\QVSETUP.EXE") is never read for it.
bool WantsUninstall() {
    const char *p = GetCommandLineA();
    bool first = true;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) return false;
        bool quoted = *p == '"';
        if (quoted) ++p;
        const char *start = p;
        while (*p && (quoted ? *p != '"' : (*p != ' ' && *p != '\t'))) ++p;
        int length = (int)(p - start);
        if (quoted && *p) ++p;
        if (!first && IsUninstallArgument(start, length)) return true;
        first = false;
    }
}

// Windows Sockets 1.1 starts and gives a TCP socket. WSOCK32.DLL is loaded here, not
// imported, so that this program still starts (and says so) where TCP/IP is missing.
bool TcpIpInstalled() {
    HMODULE winsock = LoadLibraryA("WSOCK32.DLL");
    if (!winsock) return false;
    typedef int(WINAPI * StartupFn)(WORD, LPWSADATA);
    typedef int(WINAPI * CleanupFn)(void);
    typedef SOCKET(WINAPI * SocketFn)(int, int, int);
    typedef int(WINAPI * CloseFn)(SOCKET);
    StartupFn startup = (StartupFn)(void *)GetProcAddress(winsock, "WSAStartup");
    CleanupFn cleanup = (CleanupFn)(void *)GetProcAddress(winsock, "WSACleanup");
    SocketFn makeSocket = (SocketFn)(void *)GetProcAddress(winsock, "socket");
    CloseFn closeSocket = (CloseFn)(void *)GetProcAddress(winsock, "closesocket");
    bool works = false;
    WSADATA data;
    if (startup && cleanup && makeSocket && closeSocket && startup(0x0101, &data) == 0) {
        SOCKET s = makeSocket(AF_INET, SOCK_STREAM, 0);
        works = s != INVALID_SOCKET;
        if (works) closeSocket(s);
        cleanup();
    }
    FreeLibrary(winsock);
    return works;
}

// Takes back what waits for the next start for a file of ours: its line in WININIT.INI and
// the new version written beside it.
bool DropPending(const char *target, const char *pending) {
    if (ForgetAtRestart(target) != WininitDone) return false;
    if (FileExists(pending) && !FileInUse(pending)) {
        MakeWritable(pending);
        DeleteFileA(pending);
    }
    return true;
}

// Puts one file into SYSTEM: nothing to copy when the same file is there, copied over the
// old one when no process holds it, else written beside it and put in its place at the
// next start. Whatever waited for that start for the file (a delete that a removal
// scheduled, an older upgrade) is taken back, so the restart keeps what the user is told.
enum Placed { PlacedNow, PlacedAtRestart, NotCopied, NotScheduled };
Placed PlaceFile(const char *source, const char *name, const char *pendingName) {
    char target[MAX_PATH], pending[MAX_PATH];
    if (!PathIn(true, name, target) || !PathIn(true, pendingName, pending)) return NotCopied;
    if (!FileInUse(target)) {
        MakeWritable(target);
        if (!SameContents(source, target) && !CopyFileA(source, target, FALSE)) return NotCopied;
        MakeWritable(target);
        return DropPending(target, pending) ? PlacedNow : NotScheduled;
    }
    if (SameContents(source, target)) return DropPending(target, pending) ? PlacedNow : NotScheduled;
    if (FileInUse(pending)) return NotCopied;
    MakeWritable(pending);
    if (!CopyFileA(source, pending, FALSE)) return NotCopied;
    MakeWritable(pending);
    return ScheduleAtRestart(target, pending) == WininitDone ? PlacedAtRestart : NotScheduled;
}

int PlaceFailure(const char *name, Placed placed) {
    char text[512];
    if (placed == NotScheduled)
        wsprintfA(text,
                  "%s is in use, and WININIT.INI in the Windows folder, which would put the new one "
                  "in place when Windows starts, cannot be written (is it read-only, or the disk "
                  "full?). Restart Windows, then run the setup again.",
                  name);
    else
        wsprintfA(text,
                  "Cannot copy %s to the SYSTEM folder: the disk may be full. Make room on the disk "
                  "and run the setup again.",
                  name);
    return Say(text, MB_ICONHAND);
}

int Install() {
    char source[MAX_PATH], self[MAX_PATH], help[MAX_PATH], dll[MAX_PATH];
    if (!PathIn(false, kDllName, source) || !FileExists(source) || !PathIn(true, kDllName, dll) ||
        !PathIn(false, kHelpName, help) || GetModuleFileNameA(0, self, MAX_PATH) == 0)
        return Say(
            "QVLMRMON.DLL must be in the same folder as QVSETUP.EXE. Copy every file of the kit "
            "(Explorer may hide .DLL files), or run QVSETUP.EXE straight from the floppy or CD.",
            MB_ICONHAND);
    if (!TcpIpInstalled())
        return Say(
            "TCP/IP is not installed. Add it in Control Panel, Network (Add, Protocol, "
            "Microsoft, TCP/IP), restart Windows, then run the setup again.",
            MB_ICONHAND);
    bool installed = MonitorInstalled();
    if (!installed && FileInUse(dll))
        return SayAndOfferRestart(
            "The " MONITOR_NAME
            " monitor was removed, and the spooler still uses its old QVLMRMON.DLL until Windows "
            "restarts. Nothing was changed: restart Windows first, then run the setup again.",
            MB_ICONEXCLAMATION);
    Placed placed = PlaceFile(source, kDllName, kDllPending);
    if (placed >= NotCopied) return PlaceFailure(kDllName, placed);
    bool restart = placed == PlacedAtRestart;
    // The help goes beside it when the kit has it; the monitor works without it.
    if (FileExists(help)) {
        placed = PlaceFile(help, kHelpName, kHelpPending);
        if (placed >= NotCopied) return PlaceFailure(kHelpName, placed);
        restart = restart || placed == PlacedAtRestart;
    }
    if (!installed) {
        MONITOR_INFO_2A info;
        info.pName = (LPSTR)MONITOR_NAME;
        info.pEnvironment = (LPSTR)MONITOR_ENVIRONMENT;
        info.pDLLName = (LPSTR)kDllName;
        if (!AddMonitorA(0, 2, (LPBYTE)&info)) {
            DWORD error = GetLastError();
            if (!MonitorInstalled()) {
                char text[256];
                wsprintfA(text, "The spooler did not accept the monitor (error %lu).", error);
                return Say(text, MB_ICONHAND);
            }
        }
    }
    // Add/Remove Programs runs the setup program's own copy in SYSTEM; the monitor works
    // without the entry, so a copy that fails only leaves it out.
    char copy[MAX_PATH];
    placed =
        PathIn(true, SETUP_COPY_NAME, copy) ? PlaceFile(self, SETUP_COPY_NAME, kSetupPending) : NotCopied;
    if (placed < NotCopied) {
        WriteUninstallEntry(copy);
        restart = restart || placed == PlacedAtRestart;
    }
    if (restart)
        return SayAndOfferRestart(
            "The new " MONITOR_NAME
            " monitor is ready, but the spooler is using the old one. "
            "Restart Windows to finish: the new version takes its place as Windows starts.",
            MB_ICONINFORMATION);
    return Say("The " MONITOR_NAME
               " monitor is installed. Add a port from a printer's "
               "Properties, Details, Add Port, Other.",
               MB_ICONINFORMATION);
}

// Deletes a file of the monitor from SYSTEM, or has it deleted at the next start when a
// process holds it (this program's own copy, when that is what runs).
enum Removed { RemovedNow, RemovedAtRestart, NotRemoved };
Removed RemoveFile(const char *name, const char *self) {
    char target[MAX_PATH];
    if (!PathIn(true, name, target)) return NotRemoved;
    if (!FileExists(target)) return RemovedNow;
    if (lstrcmpiA(target, self) != 0 && !FileInUse(target)) {
        if (ForgetAtRestart(target) != WininitDone) return NotRemoved;
        MakeWritable(target);
        if (DeleteFileA(target)) return RemovedNow;
    }
    return ScheduleAtRestart(0, target) == WininitDone ? RemovedAtRestart : NotRemoved;
}

int Uninstall() {
    if (!MonitorInstalled())
        return Say("The " MONITOR_NAME " monitor is not installed: there is nothing to remove.", MB_ICONHAND);
    char printers[512], text[1024];
    int using_ = PrintersOnMonitorPorts(printers, sizeof printers);
    if (using_ < 0)
        return Say(
            "The spooler could not list its printers, so the monitor is not removed (a printer "
            "on one of its ports would be left without it). Run the removal again.",
            MB_ICONHAND);
    if (using_ > 0) {
        wsprintfA(text,
                  "The monitor is not removed: these printers use its ports: %s. Delete them, or "
                  "move them to another port (Properties, Details), then remove it again.",
                  printers);
        return Say(text, MB_ICONHAND);
    }
    if (!DeleteMonitorA(0, (LPSTR)MONITOR_ENVIRONMENT, (LPSTR)MONITOR_NAME)) {
        wsprintfA(text, "The spooler did not remove the monitor (error %lu). Nothing was removed.",
                  GetLastError());
        return Say(text, MB_ICONHAND);
    }
    RemoveUninstallEntry();
    // An upgrade that waits for the next start goes first, so that no line puts a new file
    // in place after the deletes below.
    const char *files[] = {kDllName, kHelpName, kHelpIndex, SETUP_COPY_NAME};
    const char *pendings[] = {kDllPending, kHelpPending, 0, kSetupPending};
    char self[MAX_PATH], target[MAX_PATH], pending[MAX_PATH], later[256] = "", failed[256] = "";
    if (GetModuleFileNameA(0, self, MAX_PATH) == 0) self[0] = 0;
    for (int i = 0; i < 4; ++i) {
        if (pendings[i] && PathIn(true, files[i], target) && PathIn(true, pendings[i], pending))
            DropPending(target, pending);
        Removed removed = RemoveFile(files[i], self);
        char *list = removed == RemovedAtRestart ? later : removed == NotRemoved ? failed : 0;
        if (!list) continue;
        if (list[0]) lstrcatA(list, ", ");
        lstrcatA(list, files[i]);
    }
    char trace[MAX_PATH + 80] = "";
    UINT length = GetWindowsDirectoryA(target, MAX_PATH - 16);
    if (length && length < MAX_PATH - 16) {
        lstrcatA(target, "\\" TRACE_FILE_NAME);
        if (FileExists(target))
            wsprintfA(trace, " Its trace, %s, is left for you to read or delete.", target);
    }
    if (failed[0]) {
        wsprintfA(text,
                  "The " MONITOR_NAME
                  " monitor is unregistered, but %s could not be deleted, and WININIT.INI in the "
                  "Windows folder, which would delete it when Windows starts, cannot be written. "
                  "Restart Windows, then delete it from the SYSTEM folder.%s",
                  failed, trace);
        return Say(text, MB_ICONHAND);
    }
    if (later[0]) {
        wsprintfA(text,
                  "The " MONITOR_NAME
                  " monitor is unregistered. Still in use, and deleted when Windows restarts: %s.%s",
                  later, trace);
        return SayAndOfferRestart(text, MB_ICONINFORMATION);
    }
    wsprintfA(text, "The " MONITOR_NAME " monitor is removed.%s", trace);
    return Say(text, MB_ICONINFORMATION);
}

}  // namespace

extern "C" void WINAPI SetupEntry() {
    ExitProcess((UINT)(WantsUninstall() ? Uninstall() : Install()));
}
