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

struct {
    QvAddPrinterFn addPrinter;
    QvAddJobFn addJob;
    QvUserControlFn control;
    QvJobStateFn state;
    QvStatusHistoryFn history;
    QvJobSentFn sent;
    QvRegisterMonitorFn registerMonitor;
} spooler;

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
};

// The first plain document of a mode, received byte for byte from a reserved local port and
// announced as it should be; the mode-1 one is over 1 MiB, so its job file is read in pieces.
void CheckPlainDocument(const ModeCase &k, const Conversation &c, DWORD job) {
    bool lpd = k.listen == 515;
    Check(c.dataFile.size() == k.size && (!lpd || c.queue == "lp") && c.sourcePort >= 600 &&
              c.sourcePort <= 1023 &&
              (!lpd || c.dataHeader.compare(0, strlen(k.header) + 1, "\x03" + std::string(k.header)) == 0) &&
              spooler.sent(job) && NoJobFileLeft(),
          "port %s: a document of %u bytes received exactly (%u) from reserved port %d%s%s%s, reported sent "
          "to the printer, no job file left",
          k.port, (unsigned)k.size, (unsigned)c.dataFile.size(), c.sourcePort,
          lpd ? " (queue lp, announced as \\x03" : "", k.header, lpd ? ")" : "");
}

// Windows 95 opens a port when the spooler starts and closes it when it stops: one handle
// carries every document. Through one handle per mode: a document whose printer is not
// listening at first (then is), one held by the user and resumed, one deleted in its data,
// and plain ones; each whole at the printer exactly once, the deleted one never.
void CheckOnePortOpenOnce(MONITOR &m) {
    enum Kind { PrinterLate, HeldAndResumed, DeletedInData, Plain };
    const ModeCase modes[] = {{"LPR1", kLprPrinter, 515, 1200000, "1200000 dfA"},
                              {"STREAM", "Smoke Stream", 515, 300000, "125899906843000 dfA"},
                              {"SMOKE", "Smoke Raw", 9101, 100000, ""}};
    for (const ModeCase &k : modes) {
        spooler.addPrinter(k.printer, k.port);
        bool direct = k.listen != 515 || lstrcmpA(k.port, "STREAM") == 0;
        HANDLE h = nullptr;
        Check(m.pfnOpenPort((LPSTR)k.port, &h), "port %s opened", k.port);
        int ended = 0, n = 0;
        std::string failed;
        for (Kind kind : {PrinterLate, Plain, HeldAndResumed, Plain, DeletedInData, Plain}) {
            TestPrinter printer;
            if (kind != PrinterLate && (kind != HeldAndResumed || !direct))
                printer.Start(k.listen, k.listen == 515);
            if (kind == DeletedInData || (kind == HeldAndResumed && !direct))
                printer.SetMisbehaviour(Misbehaviour::StallInDataFile, 65536);
            size_t size = kind == DeletedInData || kind == HeldAndResumed ? 8 << 20
                          : n == 1                                        ? k.size
                                                                          : 200000;
            std::string data = Bytes(size, 30 + (unsigned)n);
            DWORD job = spooler.addJob(k.printer, "report");
            bool pauseSeen = direct || kind != HeldAndResumed;  // a spooled job shows "Paused" within 2 s
            ++n;
            std::thread beside([&] {
                if (kind == PrinterLate) {
                    if (direct)
                        Sleep(1500);  // within the start's first wait
                    else
                        WaitForText(job, kNetworkError, 60);
                    printer.Start(k.listen, k.listen == 515);
                } else if (kind == HeldAndResumed && direct) {
                    Sleep(1500);  // the start waits to try again: held there
                    spooler.control(job, JOB_CONTROL_PAUSE);
                    Sleep(4000);
                    printer.Start(k.listen, k.listen == 515);
                    spooler.control(job, JOB_CONTROL_RESUME);
                } else if (kind != Plain) {
                    for (int i = 0; i < 3000 && printer.Reading(); ++i) Sleep(20);
                    Sleep(1500);  // the monitor's send waits on the stalled printer
                    if (kind == DeletedInData) {
                        spooler.control(job, JOB_CONTROL_CANCEL);
                    } else {
                        DWORD pausedAt = GetTickCount();
                        spooler.control(job, JOB_CONTROL_PAUSE);
                        pauseSeen = WaitForText(job, "Paused", 30) && GetTickCount() - pausedAt <= 2000;
                        printer.SetMisbehaviour(Misbehaviour::None);
                        printer.SetReading(true);
                        spooler.control(job, JOB_CONTROL_RESUME);
                    }
                }
            });
            PrintResult r = PrintOnOpenPort(m, h, k.printer, job, data);
            beside.join();
            printer.SetReading(true);
            printer.WaitForConversations(kind == HeldAndResumed && !direct ? 2 : 1, 30000);
            std::vector<Conversation> received = printer.Conversations();
            int whole = 0;
            for (const Conversation &c : received)
                if (c.dataFile == data && (k.listen != 515 || c.complete)) ++whole;
            bool deleted = kind == DeletedInData;
            std::string outcome = deleted && direct ? "write failed: 88, ended" : "written, ended";
            std::string texts = direct ? "Deleting...|"
                                : kind == PrinterLate
                                    ? std::string("Sending...|") + kNetworkError + "|Sending...|Deleting...|"
                                : kind == HeldAndResumed ? "Sending...|Paused|Sending...|Deleting...|"
                                                         : "Sending...|Deleting...|";
            if (r.Outcome() == outcome && whole == (deleted ? 0 : 1) && spooler.sent(job) &&
                History(job) == texts && pauseSeen)
                ++ended;
            else
                failed += " document " + std::to_string(n) + ": " + r.Outcome() + ", " +
                          std::to_string(whole) + " whole, texts " + History(job) +
                          (pauseSeen ? ";" : ", \"Paused\" late;");
            if (n == 2) CheckPlainDocument(k, received.empty() ? Conversation() : received[0], job);
            printer.Stop();
        }
        m.pfnClosePort(h);
        Check(failed.empty(),
              "port %s opened once: %d documents through the one handle (printer late, plain, held and "
              "resumed, plain, deleted in the data, plain), each whole once or, deleted, never, with its "
              "status texts%s",
              k.port, ended, failed.c_str());
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
    HMODULE standIn = GetModuleHandleA("WINSPOOL.DRV");
#define QV_FIND(field, name) \
    spooler.field = standIn ? (decltype(spooler.field))(void *)GetProcAddress(standIn, name) : nullptr
    QV_FIND(addPrinter, "QvAddPrinter");
    QV_FIND(addJob, "QvAddJob");
    QV_FIND(control, "QvUserControl");
    QV_FIND(state, "QvJobState");
    QV_FIND(history, "QvStatusHistory");
    QV_FIND(sent, "QvJobSent");
    QV_FIND(registerMonitor, "QvRegisterMonitor");
#undef QV_FIND
    bool found = spooler.addPrinter && spooler.addJob && spooler.control && spooler.state &&
                 spooler.history && spooler.sent && spooler.registerMonitor;
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
    Check(r.Outcome() == "written, ended" && received.size() == 1 && received[0].dataFile == data &&
              spooler.sent(job),
          "QVSETUP: the upgraded monitor prints: a document of %u bytes on port SMOKE received whole (%s)",
          (unsigned)data.size(), r.Outcome().c_str());
    printer.Stop();
}

void CheckJobs(MONITOR &m) {
    spooler.registerMonitor(m.pfnEnumPorts);
    SwitchTrace(1);
    CheckOnePortOpenOnce(m);
    SwitchTrace(0);
    CheckTraceLeft();
}
