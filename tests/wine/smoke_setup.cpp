#include "smoke_setup.h"

#include <string>

#include "../../host/wine-spooler/spooler_standin.h"
#include "smoke_check.h"

namespace {

const char kSetupTitle[] = "QV TCP/IP LMR Port Setup";
const char kInstalled[] =
    "The QV TCP/IP LMR Port monitor is installed. Add a port from a printer's Properties, Details, Add Port, "
    "Other.";
// Where a user's CD puts the kit: read-only files, and a path that holds "-U".
const char kCdKit[] = "C:\\QV-U Kit\\";
const char kNewKit[] = "C:\\QV-U Kit\\new\\";  // a kit with another build of the DLL
const char kPrintersKey[] = "System\\CurrentControlSet\\control\\Print\\Printers";

std::string SystemFile(const std::string &name) {
    char dir[MAX_PATH] = {0};
    GetSystemDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\" + name;
}

std::string HarnessFolder() {
    char self[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder = self;
    return folder.erase(folder.rfind('\\') + 1);
}

bool Exists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadOnly(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

bool WriteBytes(const std::string &path, const std::string &bytes) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok =
        WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
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

// The kit's files copied into folder: the DLL (its build stamp changed, so another
// version, when newer), the help and QVSETUP.EXE; read-only as a CD's files are.
bool MakeKit(const std::string &folder, bool withDll, bool newer) {
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string from = HarnessFolder();
    std::string dll = FileBytes(from + "QVLMRMON.DLL");
    if (newer && dll.size() > 0x100) {
        DWORD header = *(const DWORD *)&dll[0x3C];  // the PE header; its TimeDateStamp is 8 bytes in
        if (header + 12 < dll.size()) dll[header + 8] ^= 0x5A;
    }
    bool ok = (!withDll || WriteBytes(folder + "QVLMRMON.DLL", dll)) &&
              WriteBytes(folder + "QVLMRMON.HLP", FileBytes(from + "QVLMRMON.HLP")) &&
              WriteBytes(folder + "QVSETUP.EXE", FileBytes(from + "QVSETUP.EXE"));
    for (const char *name : {"QVLMRMON.DLL", "QVLMRMON.HLP", "QVSETUP.EXE"})
        SetFileAttributesA((folder + name).c_str(), FILE_ATTRIBUTE_READONLY);
    return ok;
}

// QVSETUP.EXE run from folder as a user runs it: answers its message box with OK; the box's text.
std::string RunSetup(const std::string &folder, const std::string &arguments, DWORD *exitCode) {
    std::string command = "\"" + folder + "QVSETUP.EXE\"" + (arguments.empty() ? "" : " " + arguments);
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

// The spooler's hold on the monitor: loaded from its Driver, its file open without write or
// delete sharing, as Windows 9x holds a loaded image, until the spooler stops.
HANDLE heldFile = INVALID_HANDLE_VALUE;
HMODULE Hold() {
    static HMODULE standIn = LoadLibraryA("WINSPOOL.DRV");  // the spooler's own state outlives a monitor
    (void)standIn;
    std::string dll = SystemFile(Driver());
    HMODULE monitor = LoadLibraryA(dll.c_str());
    if (monitor)
        heldFile =
            CreateFileA(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    return monitor;
}
void Release(HMODULE monitor) {
    if (heldFile != INVALID_HANDLE_VALUE) CloseHandle(heldFile);
    heldFile = INVALID_HANDLE_VALUE;
    if (monitor) FreeLibrary(monitor);
}

// A text's line ends shown as '|', to keep a check's report on one line.
std::string OneLine(const std::string &text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c == '\n' ? '|' : c;
    return out;
}

std::string WininitPath() {
    char dir[MAX_PATH] = {0};
    GetWindowsDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\WININIT.INI";
}

// Windows starting again: the spooler has stopped; WININIT.INI's [rename] lines are applied
// in order ("NUL=FILE" deletes FILE, "TARGET=SOURCE" replaces TARGET by SOURCE) and the file
// becomes WININIT.BAK. The lines, each ending in '|'.
std::string PlayRestart() {
    std::string text = FileBytes(WininitPath()), lines;
    bool inRename = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inRename = lstrcmpiA(line.c_str(), "[rename]") == 0;
            continue;
        }
        size_t eq = line.find('=');
        if (!inRename || eq == std::string::npos) continue;
        std::string target = line.substr(0, eq), source = line.substr(eq + 1);
        lines += line + "|";
        if (lstrcmpiA(target.c_str(), "NUL") != 0) DeleteFileA(target.c_str());
        if (lstrcmpiA(target.c_str(), "NUL") == 0)
            DeleteFileA(source.c_str());
        else
            MoveFileA(source.c_str(), target.c_str());
    }
    std::string backup = WininitPath();
    backup.replace(backup.size() - 3, 3, "BAK");
    DeleteFileA(backup.c_str());
    MoveFileA(WininitPath().c_str(), backup.c_str());
    return lines;
}

// The printers the spooler keeps in the registry.
std::string PrinterNames() {
    std::string names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrintersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        names += std::string(name) + "|";
    RegCloseKey(key);
    return names;
}

}  // namespace

HMODULE InstallWithSetup() {
    const std::string dll = SystemFile("QVLMRMON.DLL");
    Check(!Exists(dll) && Driver().empty(),
          "QVSETUP: before it runs, no QVLMRMON.DLL in the SYSTEM folder and no Driver registered");
    DWORD code = 0;
    const std::string noDll = "C:\\QV-U Kit\\no dll\\";
    CreateDirectoryA(kCdKit, nullptr);
    MakeKit(noDll, false, false);
    std::string said = RunSetup(noDll, "", &code);
    Check(code == 1 && said.find("QVLMRMON.DLL must be in the same folder as QVSETUP.EXE.") == 0 &&
              !Exists(dll) && Driver().empty(),
          "QVSETUP: the DLL missing beside it: exit %lu, \"%s\", nothing installed", code, said.c_str());
    said = RunSetup(HarnessFolder(), "/U", &code);
    Check(code == 1 && said == "The QV TCP/IP LMR Port monitor is not installed: there is nothing to remove.",
          "QVSETUP /U when not installed: exit %lu, \"%s\"", code, said.c_str());

    Check(MakeKit(kCdKit, true, false) && ReadOnly(std::string(kCdKit) + "QVLMRMON.DLL"),
          "QVSETUP: a read-only kit in %s (the CD case; its path holds -U)", kCdKit);
    said = RunSetup(kCdKit, "", &code);
    Check(code == 0 && said == kInstalled,
          "QVSETUP.EXE installs from a read-only kit: exit %lu, its message \"%s\"", code, said.c_str());
    Check(Exists(dll) && Exists(SystemFile("QVLMRMON.HLP")) && Driver() == "QVLMRMON.DLL" && !ReadOnly(dll) &&
              !ReadOnly(SystemFile("QVLMRMON.HLP")),
          "QVSETUP.EXE copied QVLMRMON.DLL and QVLMRMON.HLP into the SYSTEM folder, writable although the "
          "kit's are "
          "read-only, and registered the DLL as the monitor's Driver");
    HMODULE monitor = Hold();
    Check(monitor != nullptr,
          "QVSETUP: the spooler loads the monitor from its registered Driver, %s, and holds it",
          SystemFile(Driver()).c_str());

    said = RunSetup(kCdKit, "", &code);
    Check(code == 0 && said == kInstalled && !Exists(WininitPath()),
          "QVSETUP: a second run while the spooler holds the same DLL: exit %lu, \"%s\", no restart needed",
          code, said.c_str());
    return monitor;
}

HMODULE UpgradeWithSetup(HMODULE monitor) {
    const std::string kit = kNewKit;
    MakeKit(kit, true, true);
    std::string newDll = FileBytes(kit + "QVLMRMON.DLL"), dll = SystemFile("QVLMRMON.DLL");
    DWORD code = 0;
    std::string said = RunSetup(kit, "", &code);
    std::string wininit = OneLine(FileBytes(WininitPath()));
    Check(code == 0 && said.find("Restart Windows to finish") != std::string::npos &&
              FileBytes(dll) != newDll && wininit.find("[rename]") != std::string::npos &&
              wininit.find("QVLMRMON.NEW") != std::string::npos,
          "QVSETUP: an upgrade through WININIT.INI while the DLL is held: exit %lu, \"%s\"; WININIT.INI: %s",
          code, said.c_str(), wininit.c_str());
    Release(monitor);
    std::string applied = PlayRestart();
    monitor = FileBytes(dll) == newDll ? Hold() : nullptr;
    Check(monitor != nullptr && !Exists(SystemFile("QVLMRMON.NEW")),
          "QVSETUP: the upgrade at the restart (%s): the new DLL took the old one's place "
          "and "
          "the spooler loads it",
          applied.c_str());
    return monitor;
}

void RemoveWithSetup(HMODULE monitor) {
    QvDeletePrinterFn deletePrinter =
        (QvDeletePrinterFn)(void *)GetProcAddress(GetModuleHandleA("WINSPOOL.DRV"), "QvDeletePrinter");
    if (!deletePrinter) return Check(false, "QVSETUP /U: the spooler stand-in deletes no printers");
    const std::string dll = SystemFile("QVLMRMON.DLL");
    std::string printers = PrinterNames();
    DWORD code = 0;
    std::string said = RunSetup(kCdKit, "/U", &code);
    Check(code == 1 && said.find("printers still use its ports") != std::string::npos && Exists(dll) &&
              Driver() == "QVLMRMON.DLL",
          "QVSETUP /U refused while a printer uses a port (%s): exit %lu, \"%s\", nothing removed",
          printers.c_str(), code, said.c_str());
    for (size_t at = 0, end; (end = printers.find('|', at)) != std::string::npos; at = end + 1)
        deletePrinter(printers.substr(at, end - at).c_str());

    said = RunSetup(kCdKit, "/U", &code);
    std::string wininit = OneLine(FileBytes(WininitPath()));
    Check(code == 0 && said.find("deleted when Windows restarts") != std::string::npos &&
              Driver() == "<no key>" && Exists(dll) && !Exists(SystemFile("QVLMRMON.HLP")) &&
              wininit.find("NUL=") != std::string::npos,
          "QVSETUP /U scheduled while the DLL is held: exit %lu, \"%s\"; WININIT.INI: %s", code, said.c_str(),
          wininit.c_str());
    // Installed again (the kit of the DLL in place) before Windows restarts: the scheduled
    // delete must not take the DLL.
    said = RunSetup(kNewKit, "", &code);
    wininit = OneLine(FileBytes(WininitPath()));
    Check(code == 0 && said == kInstalled && Driver() == "QVLMRMON.DLL" &&
              wininit.find("NUL=") == std::string::npos,
          "QVSETUP: installed again before the restart: exit %lu, \"%s\", the scheduled delete taken back "
          "(WININIT.INI: %s)",
          code, said.c_str(), wininit.c_str());
    said = RunSetup(kCdKit, "/U", &code);
    Check(code == 0 && said.find("deleted when Windows restarts") != std::string::npos &&
              Driver() == "<no key>",
          "QVSETUP /U scheduled again: exit %lu, \"%s\"", code, said.c_str());
    Release(monitor);
    std::string applied = PlayRestart();
    Check(!Exists(dll) && !Exists(SystemFile("QVLMRMON.HLP")),
          "QVSETUP /U: at the restart (%s) QVLMRMON.DLL is gone, and so are the monitor's key and help file",
          applied.c_str());
}
