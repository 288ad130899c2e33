// port add, port configure, about: the setup dialog played as a user would, from the
// command line. The dialog runs modally on this thread; a second thread types and clicks.
#include <stdio.h>

#include <atomic>
#include <thread>

#include "cli.h"
#include "resource.h"

namespace {

const int kLookupPatienceMs = 60000;

struct Fields {
    bool hasName = false, hasAddress = false, hasPortNumber = false;
    std::string name, address, portNumber;
    int protocol = 0;    // 0 as shown, 1 LPR, 3 Raw
    int byteCount = -1;  // -1 as shown
    bool cancel = false;
};

const char *kFieldsUsage =
    "FIELDS: --name TEXT --address TEXT --lpr --raw --byte-count --no-byte-count --port-number TEXT --cancel";

bool TakeFields(Args &args, Fields *f) {
    bool bad = false;
    f->hasName = TakeOption(args, "--name", &f->name, &bad);
    f->hasAddress = TakeOption(args, "--address", &f->address, &bad);
    f->hasPortNumber = TakeOption(args, "--port-number", &f->portNumber, &bad);
    bool lpr = TakeFlag(args, "--lpr"), raw = TakeFlag(args, "--raw");
    bool on = TakeFlag(args, "--byte-count"), off = TakeFlag(args, "--no-byte-count");
    f->cancel = TakeFlag(args, "--cancel");
    if (bad || (lpr && raw) || (on && off)) return false;
    f->protocol = lpr ? 1 : raw ? 3 : 0;
    f->byteCount = on ? 1 : off ? 0 : -1;
    return true;
}

std::vector<std::string> PortNames(MONITOR *monitor) {
    DWORD needed = 0, count = 0;
    monitor->pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    std::vector<std::string> names;
    if (monitor->pfnEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &count))
        for (DWORD i = 0; i < count; ++i) names.push_back(((PORT_INFO_1A *)buffer.data())[i].pName);
    return names;
}

// Closes whatever the dialog still shows: the first Cancel may only call off a lookup.
void CloseDialog(HWND dialog) {
    for (int i = 0; i < 2 && qvhost::DialogOpen(dialog); ++i) qvhost::ClickButton(dialog, IDCANCEL);
}

// Types the fields in, then presses OK (or Cancel). Returns true when OK closed the dialog.
bool PlayUser(HWND dialog, const Fields &f) {
    using namespace qvhost;
    bool ok = true;
    if (f.protocol) ClickButton(dialog, f.protocol == 1 ? IDC_LPR : IDC_RAW);
    if (f.hasName && !PasteText(dialog, IDC_PORT_NAME, f.name)) {
        fprintf(stderr, "qvlmr: the port name cannot be changed here\n");
        ok = false;
    }
    if (f.hasAddress) PasteText(dialog, IDC_ADDRESS, f.address);
    if (f.byteCount >= 0 && ControlChecked(dialog, IDC_BYTE_COUNT) != (f.byteCount == 1) &&
        !ClickButton(dialog, IDC_BYTE_COUNT)) {
        fprintf(stderr, "qvlmr: \"Validate byte count\" applies to LPR only\n");
        ok = false;
    }
    if (f.hasPortNumber && !PasteText(dialog, IDC_PORT_NUMBER, f.portNumber)) {
        fprintf(stderr, "qvlmr: the port number applies to Raw only\n");
        ok = false;
    }
    if (!ok || f.cancel) {
        CloseDialog(dialog);
        return false;
    }
    if (!ClickButton(dialog, IDOK)) {
        fprintf(stderr, "qvlmr: OK is not available: the port name and the address must both be filled\n");
        CloseDialog(dialog);
        return false;
    }
    WaitDialogIdle(dialog, kLookupPatienceMs);
    if (!DialogOpen(dialog)) return true;
    CloseDialog(dialog);  // an entry was refused: its message is already on stderr
    return false;
}

// Runs one setup operation on this thread while a driver plays the dialog of templateId.
template <typename Operation>
BOOL RunWithDialog(int templateId, const Fields &fields, bool *sawDialog, bool *okClosed,
                   Operation operation) {
    qvhost::SetMessageBoxHook([](const qvhost::MessageBoxRecord &box) {
        fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
    });
    std::atomic<bool> finished{false};
    DWORD self = GetCurrentThreadId();
    std::thread driver([&] {
        HWND dialog = nullptr;
        while (!finished && !(dialog = qvhost::WaitForDialog(templateId, self, 100))) {
        }
        if (!dialog) return;
        *sawDialog = true;
        *okClosed = PlayUser(dialog, fields);
    });
    BOOL result = operation();
    finished = true;
    driver.join();
    return result;
}

}  // namespace

int CmdPortAdd(Args &args) {
    Fields fields;
    if (!TakeFields(args, &fields) || !args.empty())
        return Usage(std::string("usage: qvlmr port add [FIELDS]\n") + kFieldsUsage);
    MONITOR *monitor = LoadMonitor();
    if (!monitor) return 1;
    std::vector<std::string> before = PortNames(monitor);
    bool sawDialog = false, okClosed = false;
    char monitorName[] = MONITOR_NAME;
    BOOL added = RunWithDialog(IDD_PORT_SETUP_ADD, fields, &sawDialog, &okClosed,
                               [&] { return monitor->pfnAddPort(nullptr, nullptr, monitorName); });
    DWORD error = GetLastError();
    if (!added) return error ? FailWin("AddPort", error) : Fail("no port was added");
    for (const std::string &name : PortNames(monitor)) {
        bool isNew = true;
        for (const std::string &old : before) isNew = isNew && old != name;
        if (isNew)
            printf("added %s%s\n", name.c_str(), sawDialog ? "" : " (proposed by the client's settings)");
    }
    return 0;
}

int CmdPortConfigure(Args &args) {
    Fields fields;
    if (!TakeFields(args, &fields) || args.size() != 1)
        return Usage(std::string("usage: qvlmr port configure NAME [FIELDS]\n") + kFieldsUsage);
    std::string name = args[0];
    MONITOR *monitor = LoadMonitor();
    if (!monitor) return 1;
    bool known = false;
    for (const std::string &port : PortNames(monitor))
        known = known || lstrcmpiA(port.c_str(), name.c_str()) == 0;
    if (!known) return Fail("no port named '" + name + "'");
    bool sawDialog = false, okClosed = false;
    RunWithDialog(IDD_PORT_SETUP_CONFIGURE, fields, &sawDialog, &okClosed,
                  [&] { return monitor->pfnConfigurePort(nullptr, nullptr, (LPSTR)name.c_str()); });
    if (!okClosed) return Fail("the settings of '" + name + "' were not changed");
    printf("saved %s\n", name.c_str());
    return 0;
}

// The About box opens from the setup dialog's About button; the setup dialog is then
// cancelled, so nothing is saved.
int CmdAbout(Args &args) {
    bool layout = TakeFlag(args, "--layout");
    if (!args.empty()) return Usage("usage: qvlmr about [--layout]");
    MONITOR *monitor = LoadMonitor();
    if (!monitor) return 1;
    std::vector<qvhost::TextRecord> lines;
    DWORD self = GetCurrentThreadId();
    std::thread driver([&] {
        HWND setup = qvhost::WaitForDialog(IDD_PORT_SETUP_CONFIGURE, self);
        if (!setup) return;
        qvhost::ClickButton(setup, IDC_ABOUT);
        HWND about = qvhost::WaitForDialog(IDD_ABOUT, self);
        if (about) {
            for (const qvhost::TextRecord &t : qvhost::PaintedText())
                if (t.window == about) lines.push_back(t);
            qvhost::ClickButton(about, IDOK);
            qvhost::WaitDialogClosed(about);
        }
        CloseDialog(setup);
    });
    char none[] = "";
    monitor->pfnConfigurePort(nullptr, nullptr, none);
    driver.join();
    if (lines.empty()) return Fail("the About box did not paint");
    for (const qvhost::TextRecord &t : lines) {
        if (layout)
            printf("%d,%d\t%s %d/%d\t%s\n", t.x, t.y, t.font.face.c_str(), t.font.height, t.font.weight,
                   t.text.c_str());
        else
            printf("%s\n", t.text.c_str());
    }
    return 0;
}
