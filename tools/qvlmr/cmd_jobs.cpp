// jobs, pause, resume, cancel, watch
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include "cli.h"

namespace {

std::string StatusFlags(DWORD status, bool interrupted) {
    static const struct {
        DWORD bit;
        const char *name;
    } kBits[] = {{JOB_STATUS_PAUSED, "paused"},     {JOB_STATUS_ERROR, "error"},
                 {JOB_STATUS_DELETING, "deleting"}, {JOB_STATUS_SPOOLING, "spooling"},
                 {JOB_STATUS_PRINTING, "printing"}, {JOB_STATUS_DELETED, "deleted"}};
    std::string out;
    for (auto &b : kBits)
        if (status & b.bit)
            out += (out.empty() ? "" : ",") +
                   std::string(b.bit == JOB_STATUS_PRINTING && interrupted ? "interrupted" : b.name);
    return out.empty() ? "queued" : out;
}

void PrintJobs(const std::string &printer) {
    for (const qvhost::JobView &j : qvhost::Jobs(printer))
        printf("%u\t%s\t%s\t%s\n", (unsigned)j.id, j.printer.c_str(),
               StatusFlags(j.status, j.interrupted).c_str(), j.statusText.c_str());
}

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

}  // namespace

std::string JobState(const qvhost::JobView &job) {
    if (job.interrupted) return "interrupted";
    if (job.status & JOB_STATUS_DELETING) return "being deleted";
    if (job.status & JOB_STATUS_PAUSED) return "paused";
    if (job.status & JOB_STATUS_PRINTING) return "printing";
    return "queued";
}

int CmdJobs(Args &args) {
    std::string printer;
    bool bad = false;
    TakeOption(args, "--printer", &printer, &bad);
    if (bad || !args.empty()) return Usage("usage: qvlmr jobs [--printer NAME]");
    PrintJobs(printer);
    return 0;
}

int CmdJobControl(const std::string &verb, Args &args) {
    unsigned long long id;
    if (args.size() != 1 || !ParseNumber(args[0], 0xFFFFFFFFull, &id) || id == 0)
        return Usage("usage: qvlmr " + verb + " JOB (a job id from 'qvlmr jobs')");
    qvhost::JobView job;
    if (!qvhost::GetJob((DWORD)id, &job)) return Fail(verb + ": no job " + args[0]);
    DWORD command = verb == "pause"    ? JOB_CONTROL_PAUSE
                    : verb == "resume" ? JOB_CONTROL_RESUME
                                       : JOB_CONTROL_CANCEL;
    if (!qvhost::ControlJob((DWORD)id, command)) return Fail(verb + ": job " + args[0] + " is gone");
    // A cancelled job that no monitor is printing has nobody to release it: drop it now.
    if (command == JOB_CONTROL_CANCEL && (!(job.status & JOB_STATUS_PRINTING) || job.interrupted))
        qvhost::RemoveJob((DWORD)id);
    return 0;
}

int CmdWatch(Args &args) {
    std::string countText;
    bool bad = false;
    TakeOption(args, "--refreshes", &countText, &bad);
    unsigned long long limit = 0;
    if (bad || args.size() != 1 || (!countText.empty() && !ParseNumber(countText, 1000000, &limit)))
        return Usage("usage: qvlmr watch PRINTER [--refreshes N]");
    std::string printer = args[0];
    bool known = false, paused = false;
    for (const qvhost::PrinterView &p : qvhost::Printers())
        if (lstrcmpiA(p.name.c_str(), printer.c_str()) == 0) {
            known = true;
            printer = p.name;
            paused = p.status & PRINTER_STATUS_PAUSED;
        }
    if (!known) return Fail("watch: no printer named '" + printer + "'");
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    auto title = [&](bool p) { return p ? printer + " - Paused" : printer; };
    HWND window = qvhost::CreateTopWindow(title(paused));
    printf("== %s ==\n", title(paused).c_str());
    PrintJobs(printer);
    fflush(stdout);
    unsigned long long refreshes = 0;
    while (!g_stop && (limit == 0 || refreshes < limit)) {
        UINT message;
        WPARAM key;
        int redraws = 0;
        while (qvhost::TakeMessage(window, &message, &key, nullptr))
            if (message == WM_KEYDOWN && key == VK_F5) ++redraws;
        for (const qvhost::PrinterView &p : qvhost::Printers())
            if (p.name == printer && (bool)(p.status & PRINTER_STATUS_PAUSED) != paused) {
                paused = !paused;
                qvhost::SetWindowTitle(window, title(paused));
            }
        // Each F5 is one redraw, as in a real queue window.
        for (; redraws > 0 && (limit == 0 || refreshes < limit); --redraws) {
            ++refreshes;
            printf("== %s (refresh %llu) ==\n", title(paused).c_str(), refreshes);
            PrintJobs(printer);
            fflush(stdout);
        }
        usleep(50000);
    }
    qvhost::DestroyTopWindow(window);
    return 0;
}
