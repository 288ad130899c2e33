// print: queue a job and run it through the monitor as the spooler does.
#include <fcntl.h>
#include <stdio.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "cli.h"

namespace {

void ShowStatus(DWORD jobId, const std::string &text) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tm;
    localtime_r(&tv.tv_sec, &tm);
    char when[32];
    strftime(when, sizeof when, "%H:%M:%S", &tm);
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

}  // namespace

int CmdPrint(Args &args) {
    std::string printer, title, levelText = "2", chunkText = "65536";
    bool bad = false;
    TakeOption(args, "--printer", &printer, &bad);
    TakeOption(args, "--title", &title, &bad);
    TakeOption(args, "--level", &levelText, &bad);
    TakeOption(args, "--chunk", &chunkText, &bad);
    unsigned long long chunkSize = 0;
    if (bad || printer.empty() || args.size() > 1)
        return Usage("usage: qvlmr print --printer NAME [--title TEXT] [--level 1|2] [--chunk BYTES] [FILE|-]");
    if (levelText != "1" && levelText != "2") return Usage("--level must be 1 or 2");
    if (!ParseNumber(chunkText, 64ull << 20, &chunkSize) || chunkSize == 0)
        return Usage("--chunk must be a number of bytes from 1 to 67108864");
    std::string file = args.empty() ? "-" : args[0];
    if (title.empty()) title = file == "-" ? "(standard input)" : file.substr(file.rfind('/') + 1);
    int fd = file == "-" ? 0 : open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail("cannot read " + file);

    std::string port;
    for (const qvhost::PrinterView &p : qvhost::Printers())
        if (lstrcmpiA(p.name.c_str(), printer.c_str()) == 0) {
            printer = p.name;
            port = p.port;
        }
    if (port.empty()) return Fail("print: no printer named '" + printer + "' (see qvlmr printer list)");
    MONITOR *monitor = LoadMonitor();
    if (!monitor) return 1;

    char user[256];
    DWORD userSize = sizeof user;
    if (!GetUserNameA(user, &userSize)) user[0] = 0;
    DWORD jobId = qvhost::AddJob(printer, title, user);
    if (!jobId) return Fail("print: cannot queue the job");
    printf("%u\n", (unsigned)jobId);
    fflush(stdout);
    qvhost::SetStatusHook([](DWORD id, const std::string &text) { ShowStatus(id, text); });

    HANDLE portHandle = nullptr;
    if (!monitor->pfnOpenPort((LPSTR)port.c_str(), &portHandle)) {
        qvhost::SetJobStatusBits(jobId, JOB_STATUS_ERROR, 0);
        return Fail("OpenPort failed: the monitor has no port named '" + port + "'");
    }
    qvhost::SetJobStatusBits(jobId, JOB_STATUS_PRINTING, 0);
    DOC_INFO_2A doc = {};
    doc.pDocName = (LPSTR)title.c_str();
    doc.JobId = jobId;
    DWORD level = levelText == "1" ? 1 : 2;
    int status = 0;
    if (!monitor->pfnStartDocPort(portHandle, (LPSTR)printer.c_str(), jobId, level, (LPBYTE)&doc)) {
        status = FailWin("StartDocPort", GetLastError());
        qvhost::JobView job;
        if (qvhost::GetJob(jobId, &job) && (job.status & JOB_STATUS_DELETING)) qvhost::RemoveJob(jobId);
        else qvhost::SetJobStatusBits(jobId, JOB_STATUS_ERROR, JOB_STATUS_PRINTING);
        monitor->pfnClosePort(portHandle);
        return status;
    }
    std::vector<char> chunk((size_t)chunkSize);
    unsigned long long total = 0;
    for (;;) {
        size_t got = 0;
        if (!ReadFull(fd, chunk, &got)) {
            status = Fail("cannot read " + file);
            break;
        }
        if (got == 0) break;
        size_t done = 0;
        while (done < got) {
            DWORD written = 0;
            if (!monitor->pfnWritePort(portHandle, (LPBYTE)chunk.data() + done, (DWORD)(got - done), &written)) {
                status = FailWin("WritePort", GetLastError());
                break;
            }
            if (written == 0) {
                status = Fail("WritePort took no bytes");
                break;
            }
            done += written;
        }
        total += done;
        if (status) break;
    }
    if (fd != 0) close(fd);
    if (!monitor->pfnEndDocPort(portHandle)) status = FailWin("EndDocPort", GetLastError());
    monitor->pfnClosePort(portHandle);
    qvhost::SetStatusHook(nullptr);
    fprintf(stderr, "job %u: %llu bytes handed to the monitor%s\n", (unsigned)jobId, total,
            status ? " (with errors)" : "");
    return status;
}
