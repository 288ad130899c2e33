// print: queue jobs and run them through the monitor as the spooler does: each printer
// on its own thread, its jobs one after another.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "cli.h"

namespace {

std::mutex g_outputLock;

// On a terminal, one job's progress is one line redrawn in place: the bytes handed to the
// monitor, the document's size, the rate and the job's status text.
struct ProgressLine {
    bool on = false;
    DWORD job = 0;
    unsigned long long handed = 0, total = 0;  // total 0: not known (standard input)
    double started = 0, drawn = 0;
    std::string status;
    bool shown = false;
} g_progress;

double Seconds() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

std::string Mib(unsigned long long bytes) {
    char text[32];
    snprintf(text, sizeof text, "%.1f MiB", bytes / 1048576.0);
    return text;
}

// Caller holds g_outputLock.
void DrawProgress(bool force) {
    double now = Seconds();
    if (!g_progress.on || (!force && now - g_progress.drawn < 0.1)) return;
    g_progress.drawn = now;
    double elapsed = now - g_progress.started;
    char rate[32] = "";
    if (elapsed > 0.05) snprintf(rate, sizeof rate, ", %.1f MiB/s", g_progress.handed / 1048576.0 / elapsed);
    std::string of = g_progress.total ? " of " + Mib(g_progress.total) : "";
    fprintf(stderr, "\rjob %u: %s%s%s, %s\x1b[K", (unsigned)g_progress.job, Mib(g_progress.handed).c_str(),
            of.c_str(), rate, g_progress.status.empty() ? "(no status text)" : g_progress.status.c_str());
    fflush(stderr);
    g_progress.shown = true;
}

// Caller holds g_outputLock: the line is ended before anything else is written.
void EndProgressLine() {
    if (g_progress.shown) fputc('\n', stderr);
    g_progress.shown = false;
}

void ShowStatus(DWORD jobId, const std::string &text) {
    if (g_progress.on) {
        std::lock_guard<std::mutex> lock(g_outputLock);
        g_progress.status = text;
        DrawProgress(true);
        return;
    }
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tm;
    localtime_r(&tv.tv_sec, &tm);
    char when[32];
    strftime(when, sizeof when, "%H:%M:%S", &tm);
    std::lock_guard<std::mutex> lock(g_outputLock);
    fprintf(stderr, "%s.%03d job %u: %s\n", when, (int)(tv.tv_usec / 1000), (unsigned)jobId,
            text.empty() ? "(no status text)" : text.c_str());
}

bool ReadFull(int fd, std::vector<char> &chunk, size_t *got) {
    *got = 0;
    while (*got < chunk.size()) {
        ssize_t n = read(fd, chunk.data() + *got, chunk.size() - *got);
        if (n < 0) return false;
        if (n == 0) break;
        *got += (size_t)n;
    }
    return true;
}

std::vector<DWORD> g_current;  // jobs being printed (under g_outputLock)

// Ctrl-C, a hang-up or a termination: delivery stops at once. The connections are reset
// so no printer takes a cut-short document for a whole one; the jobs stay in the queue,
// shown as interrupted, for the user to cancel.
void StopOnSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // every thread started later inherits it
    std::thread([signals] {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0) return;
        std::lock_guard<std::mutex> lock(g_outputLock);
        qvhost::ResetOpenConnections();
        EndProgressLine();
        for (DWORD id : g_current)
            fprintf(stderr,
                    "qvlmr: interrupted: job %u is no longer being printed (qvlmr cancel %u removes it)\n",
                    (unsigned)id, (unsigned)id);
        if (g_current.empty()) fprintf(stderr, "qvlmr: interrupted\n");
        fflush(stderr);
        _exit(128 + sig);
    }).detach();
}

struct PrintJob {
    MONITOR *monitor;
    std::string printer, port, title, file, user;
    DWORD level;
    size_t chunk;
};

// One job, start to end, on a port the caller opened (null when OpenPort failed); 0 when
// every monitor call returned TRUE.
int PrintOne(const PrintJob &p, HANDLE portHandle, int fd) {
    DWORD jobId = qvhost::AddJob(p.printer, p.title, p.user);
    if (!jobId) return Fail("print: cannot queue the job");
    {
        std::lock_guard<std::mutex> lock(g_outputLock);
        printf("%u\n", (unsigned)jobId);
        fflush(stdout);
        g_current.push_back(jobId);
        if (g_progress.on) {
            struct stat st;
            g_progress.job = jobId;
            g_progress.handed = 0;
            g_progress.total =
                fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? (unsigned long long)st.st_size : 0;
            g_progress.started = Seconds();
            g_progress.status.clear();
        }
    }
    MONITOR *monitor = p.monitor;
    if (!portHandle) {
        qvhost::SetJobStatusBits(jobId, JOB_STATUS_ERROR, 0);
        return Fail("OpenPort failed: the monitor has no port named '" + p.port + "'");
    }
    qvhost::SetJobStatusBits(jobId, JOB_STATUS_PRINTING, 0);
    DOC_INFO_2A doc = {};
    doc.pDocName = (LPSTR)p.title.c_str();
    doc.JobId = jobId;
    if (!monitor->pfnStartDocPort(portHandle, (LPSTR)p.printer.c_str(), jobId, p.level, (LPBYTE)&doc)) {
        int status = FailWin("StartDocPort", GetLastError());
        qvhost::JobView job;
        if (qvhost::GetJob(jobId, &job) && (job.status & JOB_STATUS_DELETING))
            qvhost::RemoveJob(jobId);
        else
            qvhost::SetJobStatusBits(jobId, JOB_STATUS_ERROR, JOB_STATUS_PRINTING);
        return status;
    }
    std::vector<char> chunk(p.chunk);
    unsigned long long total = 0;
    int status = 0;
    for (;;) {
        size_t got = 0;
        if (!ReadFull(fd, chunk, &got)) {
            status = Fail("cannot read " + p.file);
            break;
        }
        if (got == 0) break;
        size_t done = 0;
        while (done < got && !status) {
            DWORD written = 0;
            // A WritePort that fails (modes 2 and 3 when the printer or the user stopped the
            // job) ends the document here: no more writes, then EndDocPort, where the monitor
            // reports the job sent and it leaves the queue. What Windows 95's spooler does
            // instead (write again, or hold the job in error) is not known here (docs/testing.md).
            if (!monitor->pfnWritePort(portHandle, (LPBYTE)chunk.data() + done, (DWORD)(got - done),
                                       &written)) {
                DWORD code = GetLastError();
                std::lock_guard<std::mutex> lock(g_outputLock);
                EndProgressLine();
                status = FailWin("WritePort", code);
            } else if (written == 0) {
                std::lock_guard<std::mutex> lock(g_outputLock);
                EndProgressLine();
                status = Fail("WritePort took no bytes");
            }
            done += written;
            if (g_progress.on) {
                std::lock_guard<std::mutex> lock(g_outputLock);
                g_progress.handed = total + done;
                DrawProgress(false);
            }
        }
        total += done;
        if (status) break;
    }
    if (!monitor->pfnEndDocPort(portHandle)) {
        DWORD code = GetLastError();
        std::lock_guard<std::mutex> lock(g_outputLock);
        EndProgressLine();
        status = FailWin("EndDocPort", code);
    }
    // A job the monitor did not report as sent stays queued, printing no more.
    qvhost::SetJobStatusBits(jobId, status ? JOB_STATUS_ERROR : 0, JOB_STATUS_PRINTING);
    std::lock_guard<std::mutex> lock(g_outputLock);
    DrawProgress(true);
    EndProgressLine();
    g_current.erase(std::find(g_current.begin(), g_current.end(), jobId));
    fprintf(stderr, "job %u: %llu bytes handed to the monitor%s\n", (unsigned)jobId, total,
            status ? " (with errors)" : "");
    return status;
}

}  // namespace

int CmdPrint(Args &args) {
    const char usage[] =
        "usage: qvlmr print --printer NAME[,NAME...] [--title TEXT] [--level 1|2] [--chunk BYTES] "
        "[--repeat N] [FILE|-]";
    std::string printers, title, levelText = "2", chunkText = "65536", repeatText = "1";
    bool bad = false;
    TakeOption(args, "--printer", &printers, &bad);
    TakeOption(args, "--title", &title, &bad);
    TakeOption(args, "--level", &levelText, &bad);
    TakeOption(args, "--chunk", &chunkText, &bad);
    TakeOption(args, "--repeat", &repeatText, &bad);
    unsigned long long chunkSize = 0, repeat = 0;
    if (bad || printers.empty() || args.size() > 1) return Usage(usage);
    if (levelText != "1" && levelText != "2") return Usage("--level must be 1 or 2");
    if (!ParseNumber(chunkText, 64ull << 20, &chunkSize) || chunkSize == 0)
        return Usage("--chunk must be a number of bytes from 1 to 67108864");
    if (!ParseNumber(repeatText, 100000, &repeat) || repeat == 0)
        return Usage("--repeat must be from 1 to 100000");
    std::string file = args.empty() ? "-" : args[0];
    if (file == "-" && repeat > 1) return Usage("--repeat needs a FILE (standard input can be read once)");
    if (title.empty()) title = file == "-" ? "(standard input)" : file.substr(file.rfind('/') + 1);

    std::vector<PrintJob> jobs;
    char user[256];
    DWORD userSize = sizeof user;
    if (!GetUserNameA(user, &userSize)) user[0] = 0;
    for (size_t start = 0; start <= printers.size();) {
        size_t comma = printers.find(',', start);
        std::string name =
            printers.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        start = comma == std::string::npos ? printers.size() + 1 : comma + 1;
        PrintJob job{nullptr, name, "", title, file, user, levelText == "1" ? 1u : 2u, (size_t)chunkSize};
        for (const qvhost::PrinterView &p : qvhost::Printers())
            if (lstrcmpiA(p.name.c_str(), name.c_str()) == 0) {
                job.printer = p.name;
                job.port = p.port;
            }
        if (job.port.empty()) return Fail("print: no printer named '" + name + "' (see qvlmr printer list)");
        jobs.push_back(job);
    }
    if (file == "-" && jobs.size() > 1) return Usage("several printers need a FILE");
    if (file != "-" && access(file.c_str(), R_OK) != 0) return Fail("cannot read " + file);
    MONITOR *monitor = LoadMonitor();
    if (!monitor) return 1;
    StopOnSignals();
    g_progress.on = jobs.size() == 1 && isatty(STDERR_FILENO);
    qvhost::SetStatusHook([](DWORD id, const std::string &text) { ShowStatus(id, text); });

    std::vector<int> results(jobs.size(), 0);
    // The Windows 95 spooler sends one job at a time to a port and keeps the port open from
    // its start to its end: one thread per port opens it once, and the printers on it take
    // turns, a job each, until each has had its jobs.
    std::vector<std::vector<size_t>> ports;
    for (size_t i = 0; i < jobs.size(); ++i) {
        jobs[i].monitor = monitor;
        auto same = std::find_if(ports.begin(), ports.end(), [&](const std::vector<size_t> &p) {
            return lstrcmpiA(jobs[p[0]].port.c_str(), jobs[i].port.c_str()) == 0;
        });
        if (same == ports.end())
            ports.push_back({i});
        else
            same->push_back(i);
    }
    auto runPort = [&](const std::vector<size_t> &printersOnPort) {
        HANDLE portHandle = nullptr;
        if (!monitor->pfnOpenPort((LPSTR)jobs[printersOnPort[0]].port.c_str(), &portHandle))
            portHandle = nullptr;
        for (unsigned long long n = 0; n < repeat; ++n)
            for (size_t i : printersOnPort) {
                int fd = file == "-" ? 0 : open(file.c_str(), O_RDONLY | O_CLOEXEC);
                int status = fd < 0 ? Fail("cannot read " + file) : PrintOne(jobs[i], portHandle, fd);
                if (fd > 0) close(fd);
                if (status) results[i] = status;
            }
        if (portHandle) monitor->pfnClosePort(portHandle);
    };
    if (ports.size() == 1) {
        runPort(ports[0]);
    } else {
        std::vector<std::thread> threads;
        for (const std::vector<size_t> &p : ports) threads.emplace_back(runPort, std::cref(p));
        for (std::thread &t : threads) t.join();
    }
    qvhost::SetStatusHook(nullptr);
    for (int r : results)
        if (r) return r;
    return 0;
}
