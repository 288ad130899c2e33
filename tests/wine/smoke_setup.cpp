#include "smoke_setup.h"

#include <string>

#include "../../host/wine-spooler/spooler_standin.h"
#include "../../host/wininit/wininit_standin.h"
#include "smoke_check.h"

namespace {

const char kSetupTitle[] = "QV TCP/IP LMR Port Setup";
const char kInstalled[] =
    "The QV TCP/IP LMR Port monitor is installed. Add a port from a printer's Properties, Details, Add Port, "
    "Other.";
// Where a user's CD puts the kit: read-only files, and a path that holds "-U".
const char kCdKit[] = "C:\\QV-U Kit\\";
const char kNewKit[] = "C:\\QV-U Kit\\new\\";      // a kit with another build of the DLL
const char kNewerKit[] = "C:\\QV-U Kit\\newer\\";  // and one with yet another
const char kRestartQuestion[] = "Restart Windows now?";
const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QVLMRMON";
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

// A value of a key under HKEY_LOCAL_MACHINE as its bytes, without the zeros that end it;
// "" when there is no such value, noKey when there is no such key.
std::string RegistryValue(const char *path, const char *name, const char *noKey) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return noKey;
    char value[MAX_PATH] = {0};
    DWORD size = sizeof value - 1;
    if (RegQueryValueExA(key, name, nullptr, nullptr, (BYTE *)value, &size) != ERROR_SUCCESS) value[0] = 0;
    RegCloseKey(key);
    std::string bytes(value, size < sizeof value ? size : 0);
    while (!bytes.empty() && bytes.back() == 0)
        bytes.pop_back();  // a text's terminator, a number's high bytes
    return bytes;
}

std::string Driver() {  // the monitor's registered Driver
    return RegistryValue(kMonitorKey, "Driver", "<no key>");
}

// The kit's files copied into folder: the DLL (its build stamp changed by stamp, so another
// version), the help and QVSETUP.EXE; read-only as a CD's files are.
bool MakeKit(const std::string &folder, bool withDll, char stamp) {
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string from = HarnessFolder();
    std::string dll = FileBytes(from + "QVLMRMON.DLL");
    if (stamp && dll.size() > 0x100) {
        DWORD header = *(const DWORD *)&dll[0x3C];  // the PE header; its TimeDateStamp is 8 bytes in
        if (header + 12 < dll.size()) dll[header + 8] ^= stamp;
    }
    bool ok = (!withDll || WriteBytes(folder + "QVLMRMON.DLL", dll)) &&
              WriteBytes(folder + "QVLMRMON.HLP", FileBytes(from + "QVLMRMON.HLP")) &&
              WriteBytes(folder + "QVSETUP.EXE", FileBytes(from + "QVSETUP.EXE"));
    for (const char *name : {"QVLMRMON.DLL", "QVLMRMON.HLP", "QVSETUP.EXE"})
        SetFileAttributesA((folder + name).c_str(), FILE_ATTRIBUTE_READONLY);
    return ok;
}

struct SetupRun {
    DWORD exitCode = 99;
    std::string said = "<no message>";
    bool askedRestart = false;  // the message asked to restart, and was answered No
};

// A command run as a user runs it, in folder: its message box answered (No to a restart,
// else OK).
SetupRun RunCommand(std::string command, const std::string &folder) {
    SetupRun run;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        run.said = "<not started>";
        return run;
    }
    for (int i = 0; i < 1200; ++i) {
        HWND box = FindWindowA(nullptr, kSetupTitle);
        if (box && IsWindowVisible(box)) {
            Sleep(300);
            char said[1024] = {0};
            GetDlgItemTextA(box, 0xFFFF, said, sizeof said);  // a message box's text control
            run.said = said;
            size_t question = run.said.find(kRestartQuestion);
            run.askedRestart = question != std::string::npos;
            if (run.askedRestart) run.said.erase(question);
            while (!run.said.empty() && (run.said.back() == '\n' || run.said.back() == '\r'))
                run.said.pop_back();
            PostMessageA(box, WM_COMMAND, run.askedRestart ? IDNO : IDOK, 0);
            break;
        }
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
    }
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

SetupRun RunSetup(const std::string &folder, const std::string &arguments) {
    return RunCommand("\"" + folder + "QVSETUP.EXE\"" + (arguments.empty() ? "" : " " + arguments), folder);
}

std::string Outcome(const SetupRun &run) {
    return "exit " + std::to_string(run.exitCode) + ": " + run.said + (run.askedRestart ? " [restart?]" : "");
}

// The spooler's hold on the monitor: loaded from its Driver, its file open until the
// spooler stops. Windows 9x refuses to delete a loaded image; the Windows 95 reference has
// DeleteFile delete an open file: the hold keeps others from writing or deleting the file,
// or lets both through, as the stand-in's answer says.
HANDLE heldFile = INVALID_HANDLE_VALUE;
HMODULE Hold(bool letThrough) {
    static HMODULE standIn = LoadLibraryA("WINSPOOL.DRV");  // the spooler's own state outlives a monitor
    (void)standIn;
    std::string dll = SystemFile(Driver());
    HMODULE monitor = LoadLibraryA(dll.c_str());
    DWORD share = FILE_SHARE_READ | (letThrough ? FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0);
    if (monitor) heldFile = CreateFileA(dll.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
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

std::string Wininit() {
    return Exists(WininitPath()) ? OneLine(FileBytes(WininitPath())) : "<none>";
}

// How many [rename] lines name the file (its short name, as WININIT reads it).
int LinesFor(const std::string &path) {
    char shortName[MAX_PATH] = {0};
    if (!GetShortPathNameA(path.c_str(), shortName, MAX_PATH)) return 0;
    std::string text = Wininit(), name = shortName;
    int lines = 0;
    for (size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += name.size()) ++lines;
    return lines;
}

std::string EntryValue(const char *name) {
    return RegistryValue(kEntryKey, name, "<no entry>");
}

std::string ShortPath(const std::string &path) {
    char name[MAX_PATH] = {0};
    return GetShortPathNameA(path.c_str(), name, MAX_PATH) ? name : "<none>";
}

// The printers the spooler keeps in the registry, each followed by '|'.
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

const std::string kInstalledRun = std::string("exit 0: ") + kInstalled;

}  // namespace

HMODULE InstallWithSetup() {
    const std::string dll = SystemFile("QVLMRMON.DLL");
    Expect("QVSETUP: before it runs, QVLMRMON.DLL in SYSTEM, and a Driver beside the ports merged",
           std::to_string(Exists(dll)) + Driver(), "0");
    const std::string noDll = "C:\\QV-U Kit\\no dll\\";
    CreateDirectoryA(kCdKit, nullptr);
    MakeKit(noDll, false, 0);
    SetupRun run = RunSetup(noDll, "");
    Expect("QVSETUP: the DLL missing beside it", Outcome(run).substr(0, 64),
           "exit 1: QVLMRMON.DLL must be in the same folder as QVSETUP.EXE. ");
    Expect("QVSETUP: the DLL missing beside it installs nothing", std::to_string(Exists(dll)) + Driver(),
           "0");
    Expect("QVSETUP /U when not installed", Outcome(RunSetup(HarnessFolder(), "/U")),
           "exit 1: The QV TCP/IP LMR Port monitor is not installed: there is nothing to remove.");

    Expect("QVSETUP: a read-only kit in " + std::string(kCdKit) + " (the CD case; its path holds -U)",
           std::to_string(MakeKit(kCdKit, true, 0) && ReadOnly(std::string(kCdKit) + "QVLMRMON.DLL")), "1");
    Expect("QVSETUP.EXE installs from a read-only kit", Outcome(RunSetup(kCdKit, "")), kInstalledRun);
    for (const char *name : {"QVLMRMON.DLL", "QVLMRMON.HLP", "QVLMRSET.EXE"})
        Expect(std::string("QVSETUP.EXE put ") + name + " into SYSTEM, writable (the kit's are read-only)",
               std::to_string(Exists(SystemFile(name))) + std::to_string(ReadOnly(SystemFile(name))), "10");
    Expect("QVSETUP.EXE registered the DLL as the monitor's Driver", Driver(), "QVLMRMON.DLL");
    HMODULE monitor = Hold(false);
    Check(monitor != nullptr,
          "QVSETUP: the spooler loads the monitor from its registered Driver, %s, and holds it",
          SystemFile(Driver()).c_str());

    // Whatever the spooler would answer to a second AddMonitorA, setup does not ask it.
    SpoolerControls spooler;
    FindSpoolerControls(&spooler);
    auto AddMonitorCalls = [&] { return spooler.addMonitorCalls ? spooler.addMonitorCalls() : 0; };
    for (const char *answer : {"3006", "other"}) {
        SetEnvironmentVariableA("QVSTANDIN_ADD_EXISTING", answer);
        DWORD calls = AddMonitorCalls();
        run = RunSetup(kCdKit, "");
        Expect(std::string("\"already installed\" found without AddMonitorA (the spooler would answer ") +
                   answer + "): a second run while the spooler holds the same DLL",
               Outcome(run) + " AddMonitorA calls " + std::to_string(AddMonitorCalls() - calls) +
                   ", WININIT.INI " + Wininit(),
               kInstalledRun + " AddMonitorA calls 0, WININIT.INI <none>");
    }
    SetEnvironmentVariableA("QVSTANDIN_ADD_EXISTING", nullptr);
    return monitor;
}

HMODULE UpgradeWithSetup(HMODULE monitor) {
    MakeKit(kNewKit, true, 0x5A);
    const std::string newDll = FileBytes(std::string(kNewKit) + "QVLMRMON.DLL"),
                      dll = SystemFile("QVLMRMON.DLL");
    const std::string oldDll = FileBytes(dll);
    SetupRun run = RunSetup(kNewKit, "");
    Expect(
        "QVSETUP: an upgrade while the DLL is held", Outcome(run),
        "exit 0: The new QV TCP/IP LMR Port monitor is ready, but the spooler is using the old one. Restart "
        "Windows to finish: the new version takes its place as Windows starts. [restart?]");
    Expect("\"restart offered\": the upgrade asks \"Restart Windows now?\", answered No, and Windows goes on",
           std::to_string(run.askedRestart) + std::to_string(Exists(dll)), "11");
    // The same upgrade with a hold that would let a copy over the file through.
    Release(monitor);
    monitor = Hold(true);
    run = RunSetup(kNewKit, "");
    for (int letThrough : {0, 1})
        Expect(std::string("\"held file\" never overwritten (the hold ") +
                   (letThrough ? "lets writes through" : "refuses writes") + ")",
               std::to_string(FileBytes(dll) == oldDll), "1");
    Expect("QVSETUP: the upgrade run twice leaves one WININIT.INI line for QVLMRMON.DLL",
           std::to_string(LinesFor(dll)) + " " +
               std::to_string(Wininit().find("QVLMRMON.NEW") != std::string::npos),
           "1 1");
    Release(monitor);
    std::string applied = ApplyWininit();
    monitor = FileBytes(dll) == newDll ? Hold(false) : nullptr;
    Check(monitor != nullptr && !Exists(SystemFile("QVLMRMON.NEW")),
          "QVSETUP: the upgrade at the restart (%s): the new DLL took the old one's place and the spooler "
          "loads it",
          applied.c_str());
    return monitor;
}

void RemoveWithSetup(HMODULE monitor) {
    SpoolerControls spooler;
    if (!FindSpoolerControls(&spooler))
        return Check(false, "QVSETUP /U: the spooler stand-in keeps no printers");
    const std::string dll = SystemFile("QVLMRMON.DLL"), pending = SystemFile("QVLMRMON.NEW");
    std::string printers = PrinterNames();
    for (size_t at = 0, end; (end = printers.find('|', at)) != std::string::npos; at = end + 1)
        spooler.deletePrinter(printers.substr(at, end - at).c_str());
    // A port list of two, the monitor's port second and in another case.
    spooler.addPrinter("Both", "LPT1:, smoke");
    for (const char *answer : {"refuse", "remove"}) {
        SetEnvironmentVariableA("QVSTANDIN_DELETE_IN_USE", answer);
        Expect(std::string("\"/U with printers on its ports\" refused by setup itself (the spooler would ") +
                   answer + ")",
               Outcome(RunSetup(kCdKit, "/U")) + " Driver " + Driver(),
               "exit 1: The monitor is not removed: these printers use its ports: Both. Delete them, or move "
               "them "
               "to another port (Properties, Details), then remove it again. Driver QVLMRMON.DLL");
    }
    SetEnvironmentVariableA("QVSTANDIN_DELETE_IN_USE", nullptr);
    spooler.deletePrinter("Both");

    // An upgrade waits for its restart, the DLL held by a hold that lets deletes through.
    MakeKit(kNewerKit, true, 0x33);
    RunSetup(kNewerKit, "");
    Release(monitor);
    monitor = Hold(true);
    SetupRun run = RunSetup(kCdKit, "/U");
    Expect("QVSETUP /U before the upgrade's restart", Outcome(run),
           "exit 0: The QV TCP/IP LMR Port monitor is unregistered. Still in use, and deleted when Windows "
           "restarts: QVLMRMON.DLL. [restart?]");
    Expect("\"held file\" never deleted (the hold lets deletes through)", std::to_string(Exists(dll)), "1");
    Expect("QVSETUP /U takes back the pending upgrade: its file, and WININIT.INI's lines for the DLL",
           std::to_string(Exists(pending)) + " " + std::to_string(LinesFor(dll)) + " " +
               std::to_string(Wininit().find("NUL=") != std::string::npos),
           "0 1 1");
    Release(monitor);
    std::string applied = ApplyWininit();
    Expect("\"/U before the upgrade's restart\": after the restart (" + applied +
               ") the DLL, the .NEW and the monitor",
           std::to_string(Exists(dll)) + std::to_string(Exists(pending)) + " " + Driver(), "00 <no key>");

    // Installed, held, removed; installed again before the restart that removal needs.
    Expect("QVSETUP installs again", Outcome(RunSetup(kCdKit, "")), kInstalledRun);
    monitor = Hold(false);
    run = RunSetup(kCdKit, "/U");
    Expect("\"held file\" never deleted (the hold refuses deletes)",
           std::to_string(run.exitCode) + std::to_string(Exists(dll)) + std::to_string(run.askedRestart),
           "011");
    std::string wininit = Wininit(), before = FileBytes(dll);
    Expect(
        "\"installed again before the removal's restart\": told to restart first",
        Outcome(RunSetup(kCdKit, "")),
        "exit 1: The QV TCP/IP LMR Port monitor was removed, and the spooler still uses its old QVLMRMON.DLL "
        "until Windows restarts. Nothing was changed: restart Windows first, then run the setup again. "
        "[restart?]");
    Expect("\"installed again before the removal's restart\": nothing changed",
           Driver() + " " + std::to_string(Wininit() == wininit) + std::to_string(FileBytes(dll) == before),
           "<no key> 11");
    Release(monitor);
    ApplyWininit();
    Expect("QVSETUP /U: at the restart the DLL and the help are gone",
           std::to_string(Exists(dll)) + std::to_string(Exists(SystemFile("QVLMRMON.HLP"))), "00");

    // Add/Remove Programs: the entry that install writes, and its command run as Windows runs it.
    Expect("QVSETUP installs once more", Outcome(RunSetup(kCdKit, "")), kInstalledRun);
    const std::string copy = SystemFile("QVLMRSET.EXE"), index = SystemFile("QVLMRMON.GID");
    Expect("\"Add/Remove Programs\": the entry written",
           EntryValue("DisplayName") + " | " + EntryValue("UninstallString"),
           "QV TCP/IP LMR Port monitor | " + ShortPath(copy) + " /U");
    WriteBytes(index, "what WinHelp keeps beside a help file");
    char windows[MAX_PATH] = {0};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string trace = std::string(windows) + "\\QVLMRMON.LOG";
    WriteBytes(trace, "2026-12-09 01:02:03.004 LPR1 job 1: OpenPort: TRUE\r\n");
    run = RunCommand(EntryValue("UninstallString"), HarnessFolder());
    Expect("\"Add/Remove Programs\": its UninstallString run", Outcome(run),
           "exit 0: The QV TCP/IP LMR Port monitor is unregistered. Still in use, and deleted when Windows "
           "restarts: QVLMRSET.EXE. Its trace, " +
               trace + ", is left for you to read or delete. [restart?]");
    Expect("\"Add/Remove Programs\": the user's trace is left", std::to_string(Exists(trace)), "1");
    Expect("\"Add/Remove Programs\": removes the DLL, help, help index, monitor and entry",
           std::to_string(Exists(dll)) + std::to_string(Exists(SystemFile("QVLMRMON.HLP"))) +
               std::to_string(Exists(index)) + " " + Driver() + " " + EntryValue("DisplayName"),
           "000 <no key> <no entry>");
    ApplyWininit();
    Expect("\"Add/Remove Programs\": the setup program's copy is gone at the restart",
           std::to_string(Exists(copy)), "0");
}
