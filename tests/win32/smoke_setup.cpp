#include "smoke_setup.h"

#include <string>

#include "smoke_check.h"

namespace {

const char kSetupTitle[] = "QV TCP/IP LMR Port Setup";

std::string SystemFile(const std::string &name) {
    char dir[MAX_PATH] = {0};
    GetSystemDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\" + name;
}

bool Exists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The monitor's registered Driver; "" when none, "<no key>" when the key is gone.
std::string Driver() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char value[MAX_PATH] = {0};
    DWORD size = sizeof value - 1, type = 0;
    if (RegQueryValueExA(key, "Driver", nullptr, &type, (BYTE *)value, &size) != ERROR_SUCCESS) value[0] = 0;
    RegCloseKey(key);
    return value;
}

// QVSETUP.EXE from the harness's folder: answers its message box with OK; the box's text.
std::string RunSetup(const std::string &arguments, DWORD *exitCode) {
    char self[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder = self;
    folder.erase(folder.rfind('\\') + 1);
    std::string command = "\"" + folder + "QVSETUP.EXE\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    *exitCode = 99;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return "<not started>";
    std::string text = "<no message>";
    for (int i = 0; i < 1200; ++i) {
        HWND box = FindWindowA(nullptr, kSetupTitle);
        if (box && IsWindowVisible(box)) {
            Sleep(300);
            char said[512] = {0};
            GetDlgItemTextA(box, 0xFFFF, said, sizeof said);  // a message box's text control
            text = said;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            break;
        }
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
    }
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return text;
}

}  // namespace

HMODULE InstallWithSetup() {
    const std::string dll = SystemFile("QVLMRMON.DLL");
    Check(!Exists(dll) && Driver().empty(),
          "QVSETUP: before it runs, no QVLMRMON.DLL in the SYSTEM folder and no Driver registered");
    DWORD code = 0;
    std::string said = RunSetup("", &code);
    Check(code == 0 && said ==
                           "The QV TCP/IP LMR Port monitor is installed. Add a port from a printer's "
                           "Properties, Details, Add Port, Other.",
          "QVSETUP.EXE installs: exit %lu, its message \"%s\"", code, said.c_str());
    Check(Exists(dll) && Exists(SystemFile("QVLMRMON.HLP")) && Driver() == "QVLMRMON.DLL",
          "QVSETUP.EXE copied QVLMRMON.DLL and QVLMRMON.HLP into the SYSTEM folder and registered the DLL "
          "as the monitor's Driver");
    HMODULE monitor = LoadLibraryA(SystemFile(Driver()).c_str());
    Check(monitor != nullptr, "QVSETUP: the spooler loads the monitor from its registered Driver, %s",
          SystemFile(Driver()).c_str());
    return monitor;
}

void RemoveWithSetup(HMODULE monitor) {
    FreeLibrary(monitor);
    DWORD code = 0;
    std::string said = RunSetup("/U", &code);
    Check(code == 0 && said == "The QV TCP/IP LMR Port monitor is removed.",
          "QVSETUP.EXE /U removes: exit %lu, its message \"%s\"", code, said.c_str());
    Check(
        !Exists(SystemFile("QVLMRMON.DLL")) && !Exists(SystemFile("QVLMRMON.HLP")) && Driver() == "<no key>",
        "QVSETUP.EXE /U: the monitor's key, QVLMRMON.DLL and QVLMRMON.HLP in the SYSTEM folder are gone");
}
