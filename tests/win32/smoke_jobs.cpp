#include "smoke_jobs.h"

#include <winspool.h>

#include <stdio.h>

#include <string>
#include <thread>
#include <vector>

#include "smoke_check.h"
#include "../support/table_print.h"
#include "../support/test_printer.h"
#include "../../host/win32/spooler_standin.h"

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

// Every status text the job took on, each followed by '|'; the check that they were these.
std::string History(DWORD job) {
    char text[4096];
    spooler.history(job, text, sizeof text);
    std::string texts = text;
    for (char &c : texts) c = c == '\n' ? '|' : c;
    return texts;
}
void CheckHistory(DWORD job, const std::string &expected, const char *what) {
    Check(History(job) == expected, "%s: status texts in order: %s", what, History(job).c_str());
}

// Waits (up to seconds) until the job shows the text with the status bits.
bool WaitForText(DWORD job, const char *text, int seconds, DWORD bits = 0) {
    for (int i = 0; i < seconds * 50; ++i) {
        DWORD status = 0;
        char now[256];
        if (spooler.state(job, &status, now, sizeof now) && lstrcmpA(now, text) == 0 &&
            (status & bits) == bits)
            return true;
        Sleep(20);
    }
    return false;
}

std::vector<std::string> SpoolFiles() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(kSpoolDir) + "QVLMR*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// The job printed on this thread while `user` plays the user (or the printer) on another.
template <class User>
PrintResult PrintBeside(MONITOR &m, DWORD job, const std::string &data, User user) {
    std::thread beside(user);
    PrintResult r = PrintThroughTable(m, "LPR1", kLprPrinter, job, data);
    beside.join();
    return r;
}

LONG f5Count = 0;

LRESULT CALLBACK QueueWindowProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_F5 && lParam == 1) InterlockedIncrement(&f5Count);
    return DefWindowProcA(w, message, wParam, lParam);
}

// ---- the checks ------------------------------------------------------------------------

struct ModeCase {
    const char *what, *port, *printer;
    int listen;  // 515: an LPD printer; else raw
    size_t size;
    const char *header;  // how the data file is announced after its \x03 (LPD)
    const char *texts;
};

// Each mode's job received byte for byte from a reserved local port, with its texts; the
// mode-1 job is over 1 MiB, so the job file is read in many pieces.
void CheckEveryMode(MONITOR &m) {
    const ModeCase cases[] = {
        {"mode-1", "LPR1", kLprPrinter, 515, 1200000, "1200000 dfA", "Sending...|Deleting...|"},
        {"mode-2", "STREAM", "Smoke Stream", 515, 300000, "125899906843000 dfA", "Deleting...|"},
        {"mode-3", "SMOKE", "Smoke Raw", 9101, 100000, "", "Deleting...|"},
    };
    HWND queueWindow = WindowOnItsOwnThread("QvSmokeQueue", kLprPrinter, QueueWindowProc);
    unsigned seed = 0;
    for (const ModeCase &k : cases) {
        spooler.addPrinter(k.printer, k.port);
        TestPrinter printer;
        Check(printer.Start(k.listen, k.listen == 515), "%s: a printer listens on 127.0.0.1:%d", k.what,
              k.listen);
        std::string data = Bytes(k.size, ++seed);
        DWORD job = spooler.addJob(k.printer, "report");
        PrintResult r = PrintThroughTable(m, k.port, k.printer, job, data);
        printer.WaitForConversations(1, 30000);
        std::vector<Conversation> c = printer.Conversations();
        c.resize(1);
        Check(r.ok() && r.bytes == k.size && printer.Conversations().size() == 1 && c[0].dataFile == data &&
                  (k.listen != 515 || (c[0].complete && c[0].queue == "lp")) && c[0].sourcePort >= 600 &&
                  c[0].sourcePort <= 1023,
              "%s job: %u bytes received exactly (%u), from reserved port %d (LPD: queue lp)", k.what,
              (unsigned)k.size, (unsigned)c[0].dataFile.size(), c[0].sourcePort);
        if (*k.header)
            Check(c[0].dataHeader.compare(0, strlen(k.header) + 1, "\x03" + std::string(k.header)) == 0,
                  "%s job: the data file announced as \\x03%s", k.what,
                  c[0].dataHeader.size() > 1 ? c[0].dataHeader.substr(1, c[0].dataHeader.size() - 2).c_str()
                                             : "");
        CheckHistory(job, k.texts, (k.what + std::string(" job")).c_str());
        Check(spooler.sent(job) && SpoolFiles().empty(),
              "%s job: reported sent to the printer (JOB_CONTROL_SENT_TO_PRINTER), no job file left", k.what);
    }
    for (int i = 0; i < 100 && f5Count < 3; ++i) Sleep(20);
    Sleep(200);
    Check(f5Count == 3, "queue window \"%s\": F5 key-down for each status text (%ld, 3 expected)",
          kLprPrinter, f5Count);
    PostMessageA(queueWindow, WM_QUIT, 0, 0);
}

// The printer down: the job shows the network error and waits; the user deletes it there.
void CheckDeleteInRetryWait(MONITOR &m) {
    const char what[] = "delete in a retry wait";
    DWORD job = spooler.addJob(kLprPrinter, "report");
    bool seen = false;
    PrintBeside(m, job, Bytes(5000, 6), [&] {
        seen = WaitForText(job, kNetworkError, 60);
        spooler.control(job, JOB_CONTROL_CANCEL);
    });
    Check(seen, "%s: the job showed \"%s\"", what, kNetworkError);
    CheckHistory(job, std::string("Sending...|") + kNetworkError + "|Deleting...|", what);
    Check(spooler.sent(job) && SpoolFiles().empty(), "%s: the job ends reported sent, no job file left",
          what);
}

void CheckSpoolErrorHold(MONITOR &m) {
    // The next job number is 500, and its control file cannot be written: a folder has its name.
    HKEY key;
    DWORD last = 499;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kMonitorKey) + "\\Config").c_str(), 0, KEY_SET_VALUE,
                      &key) == ERROR_SUCCESS) {
        RegSetValueExA(key, "SeqNum", 0, REG_DWORD, (const BYTE *)&last, sizeof last);
        RegCloseKey(key);
    }
    std::string blocker = std::string(kSpoolDir) + "QVLMR500.ctf";
    CreateDirectoryA(blocker.c_str(), nullptr);
    TestPrinter lpd;
    lpd.Start(515, true);
    DWORD job = spooler.addJob(kLprPrinter, "report");
    bool held = false;
    PrintBeside(m, job, Bytes(5000, 7), [&] {
        held = WaitForText(job, "Cannot print(Spool Error)", 60, JOB_STATUS_PAUSED);
        Sleep(1500);
        held = held && WaitForText(job, "Cannot print(Spool Error)", 1, JOB_STATUS_PAUSED);
        spooler.control(job, JOB_CONTROL_CANCEL);
    });
    Check(held, "control file refused: the job held, paused, with \"Cannot print(Spool Error)\"");
    CheckHistory(job, "Sending...|Cannot print(Spool Error)|Deleting...|", "spool error, then deleted");
    std::vector<std::string> left = SpoolFiles();
    Check(left.size() == 1 && left[0] == "QVLMR500.ctf",
          "spool error: the job's data file deleted (%u name(s) left)", (unsigned)left.size());
    RemoveDirectoryA(blocker.c_str());
}

// Windows 95 opens a port when the spooler starts and closes it when it stops: one handle
// carries every document. Through one handle per mode: a document whose printer is not
// listening at first (then is), one held by the user and resumed, one deleted in its data,
// and a plain one; each whole at the printer exactly once, the deleted one never.
void CheckOnePortOpenOnce(MONITOR &m) {
    enum Kind { PrinterLate, HeldAndResumed, DeletedInData, Plain };
    const ModeCase modes[] = {{"mode-1", "LPR1", kLprPrinter, 515, 0, "", ""},
                              {"mode-2", "STREAM", "Smoke Stream", 515, 0, "", ""},
                              {"mode-3", "SMOKE", "Smoke Raw", 9101, 0, "", ""}};
    for (const ModeCase &k : modes) {
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
            std::string data =
                Bytes(kind == DeletedInData || kind == HeldAndResumed ? 8 << 20 : 200000, 30 + (unsigned)n);
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
            int whole = 0;
            for (const Conversation &c : printer.Conversations())
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

void CheckJobs(MONITOR &m) {
    spooler.registerMonitor(m.pfnEnumPorts);
    CheckEveryMode(m);
    CheckDeleteInRetryWait(m);
    CheckSpoolErrorHold(m);
    CheckOnePortOpenOnce(m);
}
