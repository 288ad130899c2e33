// QVSETUP.EXE: installs QVLMRMON.DLL on Windows 95/98/Me and registers it with the spooler
// as the monitor "QV TCP/IP LMR Port"; "QVSETUP /U" removes it again. No C runtime.
#include <windows.h>
#include <winspool.h>

namespace {

const char kMonitorName[] = "QV TCP/IP LMR Port";
const char kDllName[] = "QVLMRMON.DLL";
const char kHelpName[] = "QVLMRMON.HLP";  // the setup dialog's help, looked for in SYSTEM
const char kTitle[] = "QV TCP/IP LMR Port Setup";

void Append(char *dst, int capacity, const char *src) {
    int n = lstrlenA(dst);
    while (*src && n < capacity - 1) dst[n++] = *src++;
    dst[n] = 0;
}

int Say(const char *text, UINT icon) {
    MessageBoxA(0, text, kTitle, MB_OK | icon);
    return icon == MB_ICONINFORMATION ? 0 : 1;
}

bool WantsUninstall() {
    const char *p = GetCommandLineA();
    for (; *p; ++p)
        if ((p[0] == '/' || p[0] == '-') && (p[1] == 'u' || p[1] == 'U')) return true;
    return false;
}

// The file's path in the setup program's folder, or in the system folder.
bool PathIn(bool systemFolder, const char *name, char *path) {
    if (systemFolder) {
        UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH - 16) return false;
        Append(path, MAX_PATH, "\\");
    } else {
        DWORD n = GetModuleFileNameA(0, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH - 16) return false;
        while (n > 0 && path[n - 1] != '\\') --n;
        path[n] = 0;
    }
    Append(path, MAX_PATH, name);
    return true;
}

int Install() {
    char source[MAX_PATH], target[MAX_PATH];
    if (!PathIn(false, kDllName, source) || !PathIn(true, kDllName, target))
        return Say("Cannot find the setup program's folder or the system folder.", MB_ICONHAND);
    if (!CopyFileA(source, target, FALSE))
        return Say(
            "Cannot copy QVLMRMON.DLL to the system folder. If the monitor is in use, "
            "restart Windows and run the setup again.",
            MB_ICONHAND);
    // The help goes beside it when the kit has it; the monitor works without it.
    if (PathIn(false, kHelpName, source) && PathIn(true, kHelpName, target)) CopyFileA(source, target, FALSE);
    MONITOR_INFO_2A info;
    info.pName = (LPSTR)kMonitorName;
    info.pEnvironment = (LPSTR) "Windows 4.0";
    info.pDLLName = (LPSTR)kDllName;
    if (!AddMonitorA(0, 2, (LPBYTE)&info) && GetLastError() != ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
        return Say("The spooler did not accept the monitor.", MB_ICONHAND);
    return Say(
        "The QV TCP/IP LMR Port monitor is installed. Add a port from a printer's "
        "Properties, Details, Add Port, Other.",
        MB_ICONINFORMATION);
}

int Uninstall() {
    if (!DeleteMonitorA(0, (LPSTR) "Windows 4.0", (LPSTR)kMonitorName))
        return Say("The monitor could not be removed. Delete its ports and printers first.", MB_ICONHAND);
    char target[MAX_PATH];
    if (PathIn(true, kDllName, target)) DeleteFileA(target);
    if (PathIn(true, kHelpName, target)) DeleteFileA(target);
    return Say("The QV TCP/IP LMR Port monitor is removed.", MB_ICONINFORMATION);
}

}  // namespace

extern "C" void WINAPI SetupEntry() {
    ExitProcess((UINT)(WantsUninstall() ? Uninstall() : Install()));
}
