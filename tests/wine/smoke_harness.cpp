// QVSMOKE.EXE: plays the Windows 95 spooler around the real QVLMRMON.DLL on a Win32
// implementation: loads it, starts it with a thirteen-slot table and drives it through the
// table, its jobs kept by the spooler stand-in (WINSPOOL.DRV of this folder). Each check is
// one line, "OK: ..." or "FAIL: ...". For the pictures, each dialog is announced by a file
// "ready-NAME" in the folder given as the first argument, and closed once "shot-NAME"
// appears there.
#include <windows.h>
#include <winsock.h>
#include <winspool.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "../../src/monitor/monitor_table.h"
#include "../../host/wine-spooler/spooler_window.h"
#include "../support/table_print.h"
#include "smoke_check.h"
#include "smoke_jobs.h"
#include "smoke_setup.h"

namespace {

std::string syncDir;

// Announces a dialog to photograph and waits (up to two minutes) for the picture.
bool Photograph(const char *name) {
    if (syncDir.empty()) return true;
    Sleep(1500);  // drawn
    HANDLE f = CreateFileA((syncDir + "\\ready-" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    CloseHandle(f);
    for (int i = 0; i < 1200; ++i) {
        if (GetFileAttributesA((syncDir + "\\shot-" + name).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(100);
    }
    return false;
}

// A dialog is found as soon as it exists: it is ready once shown, after its start.
HWND WaitWindow(const char *title, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        HWND w = FindWindowA(nullptr, title);
        if (w && IsWindowVisible(w)) {
            Sleep(500);
            return w;
        }
        Sleep(100);
    }
    return nullptr;
}

void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

std::string FieldText(HWND dialog, int id) {
    char text[256] = {0};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// ---- checks ----------------------------------------------------------------------------

// The names in alphabetical order: the monitor lists them in the registry's order, and
// Wine's registry keeps values sorted by name, unlike Windows 95's, which keeps them as added.
// With the bytes a level-1 listing needs.
std::string PortNames(MONITOR &m) {
    DWORD needed = 0;
    std::vector<std::string> list;
    bool ok = ListPortNames(m, &list, &needed);
    std::sort(list.begin(), list.end());
    std::string names;
    for (const std::string &n : list) names += n + ",";
    return names + std::to_string(ok ? needed : 0);
}

void CheckEnumeration(MONITOR &m) {
    std::string names = PortNames(m), expected = "DELME,LPR1,LPRX,SMOKE,STREAM," +
                                                 std::to_string(5 * sizeof(PORT_INFO_1A) + 6 + 5 + 6 + 5 + 7);
    Check(names == expected, "EnumPorts level 1 lists the ports of the .reg in the bytes it asks for: %s",
          names.c_str());
    Check(m.pfnDeletePort(nullptr, nullptr, (LPSTR) "delme"), "DeletePort of DELME (named in other case)");
    names = PortNames(m);
    HKEY key;
    bool keyGone = RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kMonitorKey) + "\\Ports\\DELME").c_str(), 0,
                                 KEY_READ, &key) != ERROR_SUCCESS;
    Expect("after DeletePort, the ports listed", names.substr(0, 23), "LPR1,LPRX,SMOKE,STREAM,");
    Expect("after DeletePort, DELME's settings key gone", std::to_string(keyGone), "1");
}

// ---- dialogs ---------------------------------------------------------------------------

const char kSetupTitle[] = "QV TCP/IP Quorvane Port Setup";

// The text of every RichEdit control in a visible top-level window of another process: what
// the help viewer shows.
BOOL CALLBACK CollectRichText(HWND child, LPARAM texts) {
    char cls[64] = {0};
    GetClassNameA(child, cls, sizeof cls);
    if (!_strnicmp(cls, "RichEdit", 8)) {
        char text[2048] = {0};
        SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, nullptr);
        ((std::vector<std::pair<HWND, std::string>> *)texts)->push_back({GetAncestor(child, GA_ROOT), text});
    }
    return TRUE;
}
BOOL CALLBACK CollectWindows(HWND w, LPARAM texts) {
    DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    if (process != GetCurrentProcessId() && IsWindowVisible(w)) EnumChildWindows(w, CollectRichText, texts);
    return TRUE;
}
// The viewer's window showing a text that begins so, within the seconds; null when none does.
HWND WaitHelpText(const char *begins, int seconds) {
    for (int i = 0; i < seconds * 5; ++i) {
        std::vector<std::pair<HWND, std::string>> texts;
        EnumWindows(CollectWindows, (LPARAM)&texts);
        for (auto &t : texts)
            if (t.second.find(begins) != std::string::npos) return t.first;
        Sleep(200);
    }
    return nullptr;
}

// Wine's own help viewer, given each context of QVLMRMON.HLP, shows its topic. (Its viewer
// does not draw pop-ups, so the topic is asked for as a page; which control asks for which
// context is the host tests' part.)
void CheckHelp(HWND d) {
    const struct {
        int context;
        const char *begins;
    } topics[] = {{450, "The name of the port"},        {451, "The printer's address"},
                  {452, "Checks the entries"},          {453, "Closes the dialog"},
                  {454, "Shows the monitor's version"}, {455, "How jobs reach the printer"},
                  {456, "The printer's TCP port"},      {457, "Ticked, each job"},
                  {460, "Sends jobs to the printer's"}, {461, "Sends the bytes of each job"}};
    for (const auto &t : topics) {
        WinHelpA(d, "QvLMRmon.hlp", HELP_CONTEXT, t.context);
        HWND shown = WaitHelpText(t.begins, 30);
        Check(shown != nullptr,
              "help context %d: Wine's help viewer shows its topic from QVLMRMON.HLP: \"%s...\"", t.context,
              t.begins);
        if (shown && (t.context == 451 || t.context == 457))
            Check(Photograph(t.context == 451 ? "help-address" : "help-byte-count"),
                  "picture of help topic %d", t.context);
    }
    WinHelpA(d, "QvLMRmon.hlp", HELP_QUIT, 0);
}

void AddDialogUser() {
    HWND d = WaitWindow(kSetupTitle, 60);
    Check(d != nullptr, "AddPort shows the setup dialog (template 400)");
    if (!d) return;
    // LPR, byte count, port number 9100 (disabled), OK disabled
    Expect("add dialog starts with: port number, LPR, byte count, port number enabled, OK enabled",
           FieldText(d, 419) + " " + std::to_string(IsDlgButtonChecked(d, 425)) +
               std::to_string(IsDlgButtonChecked(d, 420)) +
               std::to_string(IsWindowEnabled(GetDlgItem(d, 419))) +
               std::to_string(IsWindowEnabled(GetDlgItem(d, IDOK))),
           "9100 1100");
    SetDlgItemTextA(d, 410, "LPR1");
    SetDlgItemTextA(d, 413, "192.168.1.20:lp");
    Check(IsWindowEnabled(GetDlgItem(d, IDOK)), "OK is enabled once a name and an address are typed");
    Check(Photograph("setup-add"), "picture of the add dialog");
    CheckHelp(d);
    Press(d, IDCANCEL);
}

void ConfigureDialogUser() {
    HWND d = WaitWindow(kSetupTitle, 60);
    Check(d != nullptr, "ConfigurePort shows the setup dialog (template 401)");
    if (!d) return;
    LONG style = GetWindowLongA(GetDlgItem(d, 410), GWL_STYLE);
    Expect("configure dialog shows: port name, read-only, address, port number, Raw",
           FieldText(d, 410) + " " + std::to_string((style & ES_READONLY) != 0) + " " + FieldText(d, 413) +
               " " + FieldText(d, 419) + " " + std::to_string(IsDlgButtonChecked(d, 426)),
           "SMOKE 1 127.0.0.1 9101 1");
    Check(Photograph("setup-configure"), "picture of the configure dialog");
    Press(d, 418);
    HWND about = WaitWindow("About", 60);
    Check(about != nullptr, "the About button opens the About box (template 500)");
    if (about) {
        Check(Photograph("about"), "picture of the About box");
        Press(about, IDOK);
        for (int i = 0; i < 100 && IsWindow(about); ++i) Sleep(100);
        Check(!IsWindow(about), "OK closes the About box");
    }
    Press(d, IDCANCEL);
}

void CheckDialogs(MONITOR &m) {
    // The spooler's window (its Printers folder): the parent whose input the setup attaches to.
    HWND spoolerWindow = WindowOnItsOwnThread("QvSmokeSpooler", "Printers", DefWindowProcA);
    std::thread user(AddDialogUser);
    SetLastError(77);
    BOOL added = m.pfnAddPort(nullptr, spoolerWindow, (LPSTR) "QV TCP/IP LMR Port");
    DWORD error = GetLastError();
    user.join();
    Check(!added && error == 0, "AddPort cancelled: FALSE with last error 0 (%lu)", error);
    user = std::thread(ConfigureDialogUser);
    BOOL configured = m.pfnConfigurePort(nullptr, spoolerWindow, (LPSTR) "SMOKE");
    user.join();
    Check(configured, "ConfigurePort cancelled: TRUE");
}

}  // namespace

int main(int argc, char **argv) {
    if (argc > 1) syncDir = argv[1];
    std::thread([] {  // a monitor that never returns would hang the run: it fails instead
        Sleep(900000);
        Check(false, "the checks did not finish within 15 minutes");
        ExitProcess(1);
    })
        .detach();
    WSADATA wsa;
    WSAStartup(0x0101, &wsa);
    HMODULE dll = InstallWithSetup();
    if (!dll) return 1;
    // The loader has run the module's entry; the spooler's start-up is InitializeMonitorEx.
    auto init = (InitializeMonitorFn)(void *)GetProcAddress(dll, "InitializeMonitorEx");
    Check(init != nullptr, "InitializeMonitorEx exported");
    if (!init) return 1;
    MONITOR m;
    Check(StartMonitorModule(nullptr, dll, init, &m), "InitializeMonitorEx starts the monitor");
    CheckEnumeration(m);
    if (FindSpoolerStandIn()) CheckJobs(m);
    CheckDialogs(m);
    dll = UpgradeWithSetup(dll);
    init = dll ? (InitializeMonitorFn)(void *)GetProcAddress(dll, "InitializeMonitorEx") : nullptr;
    MONITOR upgraded;
    if (init && StartMonitorModule(nullptr, dll, init, &upgraded)) CheckPrintsAfterUpgrade(upgraded);
    RemoveWithSetup(dll);
    printf("%s: %d check(s) failed\n", Failures() ? "FAIL" : "DONE", Failures());
    return Failures() ? 1 : 0;
}
