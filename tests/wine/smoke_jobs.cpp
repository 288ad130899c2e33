#include "smoke_jobs.h"

#include <winspool.h>

#include <stdio.h>

#include <string>
#include <thread>
#include <vector>

#include "smoke_check.h"
#include "../support/table_print.h"
#include "../../tools/printer/test_printer.h"
#include "../../host/wine-spooler/spooler_standin.h"

namespace {

const char kSpoolDir[] = "C:\\qvspool\\";  // the Config\SpoolDir of the smoke test's .reg
const char kLprPrinter[] = "Smoke Printer";
const char kNetworkError[] = "Cannot print(Network Error)";

SpoolerControls spooler;

// Every status text the job took on, each followed by '|'.
std::string History(DWORD job) {
    char text[4096];
    spooler.history(job, text, sizeof text);
    std::string texts = text;
    for (char &c : texts) c = c == '\n' ? '|' : c;
    return texts;
}

// Waits (up to seconds) until the job shows the text.
bool WaitForText(DWORD job, const char *text, int seconds) {
    for (int i = 0; i < seconds * 50; ++i) {
        DWORD status = 0;
        char now[256];
        if (spooler.state(job, &status, now, sizeof now) && lstrcmpA(now, text) == 0) return true;
        Sleep(20);
    }
    return false;
}

// No job file of the monitor's is in the spool folder.
bool NoJobFileLeft() {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(kSpoolDir) + "QVLMR*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return search == INVALID_HANDLE_VALUE;
}

// ---- the checks ------------------------------------------------------------------------

struct ModeCase {
    const char *port, *printer;
    int listen;          // 515: an LPD printer; else raw
    size_t size;         // of the first plain document
    const char *header;  // how its data file is announced after the \x03 (LPD)
    bool direct;         // sent as the spooler writes it (modes 2 and 3)
};

// The first plain document of a mode, received byte for byte from a reserved local port and
// announced as it should be; the mode-1 one is over 1 MiB, so its job file is read in pieces.
void CheckPlainDocument(const ModeCase &k, const Conversation &c, DWORD job) {
    std::string port = std::string("port ") + k.port + ": the first plain document ";
    Expect(port + "received whole", std::to_string(c.dataFile.size()), std::to_string(k.size));
    Expect(port + "from a reserved local port",
           std::to_string(c.sourcePort >= 600 && c.sourcePort <= 1023) + " (" + std::to_string(c.sourcePort) +
               ")",
           "1 (" + std::to_string(c.sourcePort) + ")");
    if (k.listen == 515) {
        Expect(port + "to queue", c.queue, "lp");
        Expect(port + "announced", c.dataHeader.substr(0, strlen(k.header) + 1),
               "\x03" + std::string(k.header));
    }
    Expect(port + "reported sent, no job file left",
           std::to_string(spooler.sent(job)) + std::to_string(NoJobFileLeft()), "11");
}

enum Kind { PrinterLate, HeldAndResumed, DeletedInData, Plain };

// A document of the series and what the spooler sees of it on each path: the outcome of
// the table's calls and the status texts the job takes on.
struct DocumentRow {
    Kind kind;
    const char *name;
    size_t size;  // 0: the mode's first plain document
    bool whole;   // the printer gets it whole, once
    const char *spooledOutcome, *spooledTexts, *directOutcome, *directTexts;
};
const DocumentRow kSeries[] = {
    {PrinterLate, "printer late", 200000, true, "written, ended",
     "Sending...|Cannot print(Network Error)|Sending...|Deleting...|", "written, ended", "Deleting...|"},
    {Plain, "plain", 0, true, "written, ended", "Sending...|Deleting...|", "written, ended", "Deleting...|"},
    {HeldAndResumed, "held and resumed", 8 << 20, true, "written, ended",
     "Sending...|Paused|Sending...|Deleting...|", "written, ended", "Deleting...|"},
    {Plain, "plain", 200000, true, "written, ended", "Sending...|Deleting...|", "written, ended",
     "Deleting...|"},
    {DeletedInData, "deleted in the data", 8 << 20, false, "written, ended", "Sending...|Deleting...|",
     "write failed: 88, ended", "Deleting...|"},
    {Plain, "plain", 200000, true, "written, ended", "Sending...|Deleting...|", "written, ended",
     "Deleting...|"},
};

// What the user and the printer do beside the document's delivery. A spooled job shows
// "Paused" within 2 s of the pause: false when it did not.
bool ActBeside(const DocumentRow &d, const ModeCase &k, TestPrinter &printer, DWORD job) {
    switch (d.kind) {
        case PrinterLate:
            if (k.direct)
                Sleep(1500);  // within the start's first wait
            else
                WaitForText(job, kNetworkError, 60);
            printer.Start(k.listen, k.listen == 515);
            return true;
        case HeldAndResumed:
            if (k.direct) {
                Sleep(1500);  // the start waits to try again: held there
                spooler.control(job, JOB_CONTROL_PAUSE);
                Sleep(4000);
                printer.Start(k.listen, k.listen == 515);
                spooler.control(job, JOB_CONTROL_RESUME);
                return true;
            } else {
                for (int i = 0; i < 3000 && printer.Reading(); ++i) Sleep(20);
                Sleep(1500);  // the monitor's send waits on the stalled printer
                DWORD pausedAt = GetTickCount();
                spooler.control(job, JOB_CONTROL_PAUSE);
                bool seen = WaitForText(job, "Paused", 30) && GetTickCount() - pausedAt <= 2000;
                printer.SetMisbehaviour(Misbehaviour::None);
                printer.SetReading(true);
                spooler.control(job, JOB_CONTROL_RESUME);
                return seen;
            }
        case DeletedInData:
            for (int i = 0; i < 3000 && printer.Reading(); ++i) Sleep(20);
            Sleep(1500);  // the monitor's send waits on the stalled printer
            spooler.control(job, JOB_CONTROL_CANCEL);
            return true;
        case Plain: return true;
    }
    return true;
}

// Windows 95 opens a port when the spooler starts and closes it when it stops: one handle
// carries every document of the series, each whole at the printer exactly once (the
// deleted one never), with its status texts.
void CheckOnePortOpenOnce(MONITOR &m) {
    const ModeCase modes[] = {{"LPR1", kLprPrinter, 515, 1200000, "1200000 dfA", false},
                              {"STREAM", "Smoke Stream", 515, 300000, "125899906843000 dfA", true},
                              {"SMOKE", "Smoke Raw", 9101, 100000, "", true}};
    for (const ModeCase &k : modes) {
        spooler.addPrinter(k.printer, k.port);
        HANDLE h = nullptr;
        Check(m.pfnOpenPort((LPSTR)k.port, &h), "port %s opened", k.port);
        int n = 0;
        for (const DocumentRow &d : kSeries) {
            TestPrinter printer;
            bool heldSpooled = d.kind == HeldAndResumed && !k.direct;
            if (d.kind != PrinterLate && (d.kind != HeldAndResumed || !k.direct))
                printer.Start(k.listen, k.listen == 515);
            if (d.kind == DeletedInData || heldSpooled)
                printer.SetMisbehaviour(Misbehaviour::StallInDataFile, 65536);
            std::string data = Bytes(d.size ? d.size : k.size, 30 + (unsigned)n);
            DWORD job = spooler.addJob(k.printer, "report");
            ++n;
            bool pauseSeen = true;
            std::thread beside([&] { pauseSeen = ActBeside(d, k, printer, job); });
            PrintResult r = PrintOnOpenPort(m, h, k.printer, job, data);
            beside.join();
            printer.SetReading(true);
            printer.WaitForConversations(heldSpooled ? 2 : 1, 30000);
            std::vector<Conversation> received = printer.Conversations();
            int whole = 0;
            for (const Conversation &c : received)
                if (c.dataFile == data && (k.listen != 515 || c.complete)) ++whole;
            std::string document =
                std::string("port ") + k.port + " document " + std::to_string(n) + " (" + d.name + ")";
            Expect(document + ": the table's calls", r.Outcome(),
                   k.direct ? d.directOutcome : d.spooledOutcome);
            Expect(document + ": whole at the printer, reported sent",
                   std::to_string(whole) + " " + std::to_string(spooler.sent(job)), d.whole ? "1 1" : "0 1");
            Expect(document + ": status texts", History(job), k.direct ? d.directTexts : d.spooledTexts);
            if (heldSpooled) Expect(document + ": \"Paused\" within 2 s", std::to_string(pauseSeen), "1");
            if (n == 2) CheckPlainDocument(k, received.empty() ? Conversation() : received[0], job);
            printer.Stop();
        }
        m.pfnClosePort(h);
    }
}

void SwitchTrace(DWORD on) {
    HKEY key;
    std::string path = std::string(kMonitorKey) + "\\Config";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "Trace", 0, REG_DWORD, (const BYTE *)&on, sizeof on);
    RegCloseKey(key);
}

// The trace the series above left in the Windows folder: time-stamped CRLF lines of each
// port's jobs, naming the LPD's answers, the network waits and the user's delete.
void CheckTraceLeft() {
    char windows[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    std::string path = std::string(windows, length < MAX_PATH ? length : 0) + "\\QVLMRMON.LOG";
    std::string text = FileBytes(path);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = -1;
    bool stamped = sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d ", &year, &month, &day, &hour, &minute,
                          &second, &ms) == 7 &&
                   year >= 2000 && ms >= 0;
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
    const char *needles[] = {"LPR1 job ",
                             "receive-job command for queue \"lp\": the printer answered 0",
                             "waiting 3 s before the next try",
                             "SMOKE job ",
                             "connected from local port 10",
                             "job check: the user is deleting the job",
                             "StartDocPort: TRUE"};
    std::string missing;
    for (const char *n : needles)
        if (text.find(n) == std::string::npos) missing += std::string(" \"") + n + "\"";
    Check(stamped && lines >= 100 && missing.empty(),
          "trace on through Config\\Trace: %s holds %u time-stamped lines of the series (the LPD's answers, "
          "the "
          "waits, the user's delete)%s%s",
          path.c_str(), (unsigned)lines, missing.empty() ? "" : "; missing:", missing.c_str());
    DeleteFileA(path.c_str());
}

}  // namespace

bool FindSpoolerStandIn() {
    bool found = FindSpoolerControls(&spooler);
    Check(found, "the DLL's WINSPOOL.DRV is the spooler stand-in");
    return found;
}

void CheckPrintsAfterUpgrade(MONITOR &m) {
    spooler.registerMonitor(m.pfnEnumPorts);
    spooler.addPrinter("Smoke Raw", "SMOKE");
    TestPrinter printer;
    printer.Start(9101, false);
    std::string data = Bytes(100000, 77);
    DWORD job = spooler.addJob("Smoke Raw", "after the upgrade");
    HANDLE h = nullptr;
    PrintResult r;
    if (m.pfnOpenPort((LPSTR) "SMOKE", &h)) {
        r = PrintOnOpenPort(m, h, "Smoke Raw", job, data);
        m.pfnClosePort(h);
    }
    printer.WaitForConversations(1, 30000);
    std::vector<Conversation> received = printer.Conversations();
    Expect("QVSETUP: the upgraded monitor prints on port SMOKE: the table's calls", r.Outcome(),
           "written, ended");
    Expect(
        "QVSETUP: the upgraded monitor prints on port SMOKE: connections, the document whole, reported sent",
        std::to_string(received.size()) + " " +
            std::to_string(received.size() == 1 && received[0].dataFile == data) +
            std::to_string(spooler.sent(job)),
        "1 11");
    printer.Stop();
}

void CheckJobs(MONITOR &m) {
    spooler.registerMonitor(m.pfnEnumPorts);
    SwitchTrace(1);
    CheckOnePortOpenOnce(m);
    SwitchTrace(0);
    CheckTraceLeft();
}
