// QVSETUP.EXE: installs QVLMRMON.DLL on Windows 95/98/Me and registers it with the spooler
// as the monitor "QV TCP/IP LMR Port"; "QVSETUP /U" removes it again. No C runtime.
//
// The spooler keeps the monitor loaded from its start to its end, and Windows 9x holds a
// loaded DLL's file: while it runs, the DLL in SYSTEM can be neither overwritten nor
// deleted. A new version is then written beside it and put in place by WININIT.INI's
// [rename] section at the next start, as Windows 9x installers do; a file that cannot be
// deleted is deleted there the same way. Files copied from a CD are read-only: each file
// set down here is made writable, so that later upgrades and removal can touch it.
#include <windows.h>
#include <winsock.h>
#include <winspool.h>

#include "monitor_names.h"
#include "setup_files.h"

namespace {

const char kDllName[] = "QVLMRMON.DLL";
const char kDllPending[] = "QVLMRMON.NEW";  // the new DLL, until WININIT puts it in place
const char kHelpName[] = "QVLMRMON.HLP";    // the setup dialog's help, looked for in SYSTEM
const char kHelpPending[] = "QVLMRMON.HNW";
const char kTitle[] = MONITOR_NAME " Setup";

int Say(const char *text, UINT icon) {
    MessageBoxA(0, text, kTitle, MB_OK | icon);
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

// The spooler records an installed monitor by its Driver; ports merged from a .reg file
// before the monitor was installed make a key without one.
bool MonitorRegistered() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MONITOR_KEY_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool driver = RegQueryValueExA(key, "Driver", 0, 0, 0, 0) == ERROR_SUCCESS;
    RegCloseKey(key);
    return driver;
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

// Puts one file of the kit into SYSTEM: nothing to do when the same file is there, copied
// over the old one when it can be, else written beside it and renamed at the next start.
enum Placed { PlacedNow, PlacedAtRestart, NotPlaced };
Placed PlaceFile(const char *name, const char *pendingName) {
    char source[MAX_PATH], target[MAX_PATH], pending[MAX_PATH];
    if (!PathIn(false, name, source) || !PathIn(true, name, target) || !PathIn(true, pendingName, pending))
        return NotPlaced;
    // Removed, then installed again before Windows restarted: the file must stay.
    CancelDeleteAtRestart(target);
    MakeWritable(target);
    if (SameContents(source, target) || CopyFileA(source, target, FALSE)) {
        MakeWritable(target);
        return PlacedNow;
    }
    MakeWritable(pending);
    if (!CopyFileA(source, pending, FALSE)) return NotPlaced;
    MakeWritable(pending);
    return ScheduleAtRestart(target, pending) ? PlacedAtRestart : NotPlaced;
}

int Install() {
    char source[MAX_PATH];
    if (!PathIn(false, kDllName, source) || GetFileAttributesA(source) == INVALID_FILE_ATTRIBUTES)
        return Say(
            "QVLMRMON.DLL must be in the same folder as QVSETUP.EXE. Copy every file of the kit "
            "(Explorer may hide .DLL files), or run QVSETUP.EXE straight from the floppy or CD.",
            MB_ICONHAND);
    if (!TcpIpInstalled())
        return Say(
            "TCP/IP is not installed. Add it in Control Panel, Network, Add, Protocol, Microsoft, "
            "TCP/IP, restart Windows, then run the setup again.",
            MB_ICONHAND);
    Placed dll = PlaceFile(kDllName, kDllPending);
    if (dll == NotPlaced)
        return Say(
            "Cannot copy QVLMRMON.DLL to the system folder. Make room on the disk and run the setup again.",
            MB_ICONHAND);
    // The help goes beside it when the kit has it; the monitor works without it.
    char help[MAX_PATH];
    Placed helpPlaced = PathIn(false, kHelpName, help) && GetFileAttributesA(help) != INVALID_FILE_ATTRIBUTES
                            ? PlaceFile(kHelpName, kHelpPending)
                            : PlacedNow;
    bool restart = dll == PlacedAtRestart || helpPlaced == PlacedAtRestart;
    MONITOR_INFO_2A info;
    info.pName = (LPSTR)MONITOR_NAME;
    info.pEnvironment = (LPSTR)MONITOR_ENVIRONMENT;
    info.pDLLName = (LPSTR)kDllName;
    if (!AddMonitorA(0, 2, (LPBYTE)&info) && GetLastError() != ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
        return Say(restart
                       ? "The spooler did not accept the monitor. Restart Windows and run the setup again."
                       : "The spooler did not accept the monitor.",
                   MB_ICONHAND);
    if (restart)
        return Say("The new " MONITOR_NAME
                   " monitor is ready, but the spooler is using the old one. "
                   "Restart Windows to finish: the new version takes its place as Windows starts.",
                   MB_ICONINFORMATION);
    return Say("The " MONITOR_NAME
               " monitor is installed. Add a port from a printer's "
               "Properties, Details, Add Port, Other.",
               MB_ICONINFORMATION);
}

// Deletes a file of the monitor from SYSTEM, or has it deleted at the next start; false
// when neither could be done.
bool RemoveFile(const char *name, bool *atRestart) {
    char target[MAX_PATH];
    if (!PathIn(true, name, target)) return false;
    if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES) return true;
    MakeWritable(target);
    if (DeleteFileA(target)) return true;
    if (!ScheduleAtRestart(0, target)) return false;
    *atRestart = true;
    return true;
}

int Uninstall() {
    if (!MonitorRegistered())
        return Say("The " MONITOR_NAME " monitor is not installed: there is nothing to remove.", MB_ICONHAND);
    if (!DeleteMonitorA(0, (LPSTR)MONITOR_ENVIRONMENT, (LPSTR)MONITOR_NAME))
        return Say(
            "The monitor could not be removed: printers still use its ports. Delete those printers, "
            "or move them to another port (Properties, Details), then run QVSETUP /U again.",
            MB_ICONHAND);
    bool atRestart = false;
    bool removed = RemoveFile(kDllName, &atRestart);
    removed = RemoveFile(kHelpName, &atRestart) && removed;
    if (!removed)
        return Say(
            "The monitor is unregistered, but QVLMRMON.DLL or QVLMRMON.HLP could not be deleted "
            "from the system folder. Delete them there by hand.",
            MB_ICONHAND);
    if (atRestart)
        return Say("The " MONITOR_NAME
                   " monitor is unregistered. The spooler is still using "
                   "QVLMRMON.DLL: it is deleted when Windows restarts.",
                   MB_ICONINFORMATION);
    return Say("The " MONITOR_NAME " monitor is removed.", MB_ICONINFORMATION);
}

}  // namespace

extern "C" void WINAPI SetupEntry() {
    ExitProcess((UINT)(WantsUninstall() ? Uninstall() : Install()));
}
