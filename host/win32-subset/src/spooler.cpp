// Spooler (WINSPOOL): printers and jobs in the shared database, so another process can
// pause, resume or cancel a job that this one is delivering.
#include "../../spooler-rules/spooler_core.h"
#include "host_db.h"
#include "host_internal.h"

#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace qvhost {

namespace {

// The loaded monitors' EnumPorts, whose ports EnumPortsA lists after the built-in ones.
std::mutex g_monitorLock;
std::vector<EnumPortsFn> g_monitors;

std::vector<EnumPortsFn> LoadedMonitors() {
    std::lock_guard<std::mutex> lock(g_monitorLock);
    return g_monitors;
}

const uint32_t kPrinterMagic = 0x54525051;
struct PrinterObj {
    uint32_t magic;
    std::string name;
};

std::mutex g_hookLock;
std::function<void(DWORD, const std::string &)> g_statusHook;
std::function<void(DWORD, DWORD)> g_jobQueryHook;

PrinterObj *AsPrinter(HANDLE h) {
    PrinterObj *p = (PrinterObj *)h;
    return p && h != INVALID_HANDLE_VALUE && p->magic == kPrinterMagic ? p : nullptr;
}

struct JobRow {
    DWORD id;
    std::string printer, document, user, machine, statusText;
    DWORD status;
    long long submitted, ownerPid, ownerStart;
};

// When a process started, in clock ticks since boot (field 22 of /proc/PID/stat), so that
// a process id used again by a later process is not taken for the one that printed.
long long ProcessStart(long long pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%lld/stat", pid);
    FILE *f = fopen(path, "r");
    if (!f) return -1;
    char buf[1024];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = 0;
    const char *p = strrchr(buf, ')');  // the command name may hold spaces and parentheses
    if (!p) return -1;
    unsigned long long start = 0;
    if (sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
               &start) != 1)
        return -1;
    return (long long)start;
}

// A job marked printing whose printing process has gone.
bool Interrupted(const JobRow &j) {
    return (j.status & JOB_STATUS_PRINTING) && j.ownerPid > 0 && ProcessStart(j.ownerPid) != j.ownerStart;
}

std::vector<JobRow> QueryJobs(const char *where, const std::string &arg, long long offset = 0,
                              long long limit = -1) {
    std::string sql =
        "SELECT id, printer, document, user, machine, status, status_text, submitted, owner_pid,"
        " owner_start FROM jobs ";
    sql += where;
    sql += " ORDER BY id LIMIT ? OFFSET ?";
    Stmt s(sql.c_str());
    int i = 1;
    if (!arg.empty() || strchr(where, '?')) s.Bind(i++, arg);
    s.Bind(i, limit);
    s.Bind(i + 1, offset);
    std::vector<JobRow> out;
    while (s.Step())
        out.push_back({(DWORD)s.Int(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4), s.Text(6),
                       (DWORD)s.Int(5), s.Int(7), s.Int(8), s.Int(9)});
    return out;
}

const char kDriver[] = "Generic / Text Only";

JobFields Fields(const JobRow &j) {
    JobFields f = {};
    f.id = j.id;
    f.status = j.status;
    f.printer = j.printer.c_str();
    f.machine = j.machine.c_str();
    f.user = j.user.c_str();
    f.document = j.document.c_str();
    f.driver = kDriver;
    f.statusText = j.statusText.c_str();
    time_t t = (time_t)j.submitted;
    struct tm tm;
    gmtime_r(&t, &tm);
    f.submitted = {(WORD)(tm.tm_year + 1900), (WORD)(tm.tm_mon + 1), (WORD)tm.tm_wday, (WORD)tm.tm_mday,
                   (WORD)tm.tm_hour,          (WORD)tm.tm_min,       (WORD)tm.tm_sec,  0};
    return f;
}

bool Fail(DWORD code) {
    SetLastError(code);
    return false;
}

}  // namespace

void RegisterMonitorEnumPorts(EnumPortsFn fn) {
    std::lock_guard<std::mutex> lock(g_monitorLock);
    g_monitors.push_back(fn);
}
void ClearMonitors() {
    std::lock_guard<std::mutex> lock(g_monitorLock);
    g_monitors.clear();
}

bool AddPrinter(const std::string &name, const std::string &port, std::string *error) {
    if (name.empty() || name.size() > 220 || name.find_first_of("\\,") != std::string::npos) {
        if (error) *error = "invalid printer name";
        return false;
    }
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s(
        "INSERT INTO printers(name, port) VALUES(?, ?) ON CONFLICT(name) DO UPDATE SET port ="
        " excluded.port");
    s.Bind(1, name).Bind(2, port);
    if (!s.Run()) {
        if (error) *error = "cannot store the printer";
        return false;
    }
    return true;
}

bool DeletePrinter(const std::string &name) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s("DELETE FROM printers WHERE name = ?");
    s.Bind(1, name);
    return s.Run() && sqlite3_changes(Db()) > 0;
}

std::vector<PrinterView> Printers() {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s(
        "SELECT p.name, p.port, p.status, (SELECT count(*) FROM jobs j WHERE j.printer ="
        " p.name) FROM printers p ORDER BY p.rowid");
    std::vector<PrinterView> out;
    while (s.Step()) out.push_back({s.Text(0), s.Text(1), (DWORD)s.Int(2), (DWORD)s.Int(3)});
    return out;
}

bool SetPrinterPaused(const std::string &name, bool paused) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s("UPDATE printers SET status = ? WHERE name = ?");
    s.Bind(1, paused ? PRINTER_STATUS_PAUSED : 0).Bind(2, name);
    return s.Run() && sqlite3_changes(Db()) > 0;
}

DWORD AddJob(const std::string &printer, const std::string &document, const std::string &user) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Transaction t;  // the printer read and the job written under one write lock
    Stmt p("SELECT name FROM printers WHERE name = ?");
    p.Bind(1, printer);
    if (!p.Step()) return 0;
    std::string exact = p.Text(0);
    Stmt s("INSERT INTO jobs(printer, document, user, machine, submitted) VALUES(?, ?, ?, ?, ?)");
    char host[256] = "localhost";
    gethostname(host, sizeof host - 1);
    s.Bind(1, exact)
        .Bind(2, document)
        .Bind(3, user)
        .Bind(4, std::string("\\\\") + host)
        .Bind(5, (long long)time(nullptr));
    if (!s.Run()) return 0;
    DWORD id = (DWORD)sqlite3_last_insert_rowid(Db());
    t.Commit();
    return id;
}

std::vector<JobView> Jobs(const std::string &printer) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    std::vector<JobRow> rows = printer.empty() ? QueryJobs("", "") : QueryJobs("WHERE printer = ?", printer);
    std::vector<JobView> out;
    DWORD pos = 0;
    for (const JobRow &r : rows)
        out.push_back({r.id, r.printer, r.document, r.user, r.statusText, r.status, ++pos, Interrupted(r)});
    return out;
}

bool GetJob(DWORD id, JobView *out) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    std::vector<JobRow> rows = QueryJobs("WHERE id = ?", std::to_string(id));
    if (rows.empty()) return false;
    const JobRow &r = rows[0];
    *out = {r.id, r.printer, r.document, r.user, r.statusText, r.status, 0, Interrupted(r)};
    return true;
}

bool ControlJob(DWORD id, DWORD command) {
    JobChange change;
    if (!JobCommandChange(command, &change)) return false;
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    if (change.leavesQueue) {
        Stmt s("DELETE FROM jobs WHERE id = ?");
        s.Bind(1, (long long)id);
        return s.Run() && sqlite3_changes(Db()) > 0;
    }
    // One statement, so that another process's change between a read and a write is kept.
    Stmt s("UPDATE jobs SET status = (status | ?) & ~? WHERE id = ?");
    s.Bind(1, (long long)change.set).Bind(2, (long long)change.clear).Bind(3, (long long)id);
    return s.Run() && sqlite3_changes(Db()) > 0;
}

bool SetJobStatusBits(DWORD id, DWORD set, DWORD clear) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    // The process that marks a job printing is the one delivering it.
    Stmt s(
        "UPDATE jobs SET status = (status | ?1) & ~?2,"
        " owner_pid = CASE WHEN ?1 & ?6 THEN ?4 WHEN ?2 & ?6 THEN 0 ELSE owner_pid END,"
        " owner_start = CASE WHEN ?1 & ?6 THEN ?5 WHEN ?2 & ?6 THEN 0 ELSE owner_start END WHERE id = ?3");
    long long self = (long long)getpid();
    s.Bind(1, (long long)set)
        .Bind(2, (long long)clear)
        .Bind(3, (long long)id)
        .Bind(4, self)
        .Bind(5, ProcessStart(self))
        .Bind(6, (long long)JOB_STATUS_PRINTING);
    return s.Run() && sqlite3_changes(Db()) > 0;
}

std::vector<DWORD> RecoverInterruptedJobs() {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    std::vector<DWORD> recovered;
    for (const JobRow &r : QueryJobs("WHERE status & ?", std::to_string(JOB_STATUS_PRINTING)))
        if (Interrupted(r)) {
            Stmt s(
                "UPDATE jobs SET status = status & ~?, status_text = '', owner_pid = 0, owner_start = 0"
                " WHERE id = ? AND owner_pid = ?");
            s.Bind(1, (long long)JOB_STATUS_PRINTING).Bind(2, (long long)r.id).Bind(3, r.ownerPid);
            if (s.Run() && sqlite3_changes(Db()) > 0) recovered.push_back(r.id);
        }
    return recovered;
}

DWORD RenumberJob(DWORD id) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Transaction t;
    Stmt m("SELECT max(id) + 1 FROM jobs");
    if (!m.Step()) return 0;
    DWORD fresh = (DWORD)m.Int(0);
    Stmt s("UPDATE jobs SET id = ? WHERE id = ?");
    s.Bind(1, (long long)fresh).Bind(2, (long long)id);
    if (!s.Run() || sqlite3_changes(Db()) == 0) return 0;
    t.Commit();
    return fresh;
}

bool RemoveJob(DWORD id) {
    return ControlJob(id, JOB_CONTROL_SENT_TO_PRINTER);
}

void SetStatusHook(std::function<void(DWORD, const std::string &)> hook) {
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_statusHook = std::move(hook);
}

void SetJobQueryHook(std::function<void(DWORD, DWORD)> hook) {
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_jobQueryHook = std::move(hook);
}

}  // namespace qvhost

using namespace qvhost;

extern "C" {

BOOL WINAPI OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA) {
    if (!name || !printer) return Fail(ERROR_INVALID_PARAMETER);
    int left = TheFaults().openPrinterFailures.load();
    while (left > 0 && !TheFaults().openPrinterFailures.compare_exchange_weak(left, left - 1)) {
    }
    if (left > 0) return Fail(ERROR_INVALID_PRINTER_NAME);
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s("SELECT name FROM printers WHERE name = ?");
    s.Bind(1, name);
    if (!s.Step()) return Fail(ERROR_INVALID_PRINTER_NAME);
    *printer = (HANDLE) new PrinterObj{kPrinterMagic, s.Text(0)};
    g_openPrinters++;
    return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE printer) {
    PrinterObj *p = AsPrinter(printer);
    if (!p) return Fail(ERROR_INVALID_HANDLE);
    p->magic = 0;
    delete p;
    g_openPrinters--;
    return TRUE;
}

BOOL WINAPI GetJobA(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD size, LPDWORD needed) {
    PrinterObj *p = AsPrinter(printer);
    if (!p) return Fail(ERROR_INVALID_HANDLE);
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    if (JobUnreadable(jobId)) return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    std::vector<JobRow> rows = QueryJobs("WHERE id = ?", std::to_string(jobId));
    if (rows.empty() || lstrcmpiA(rows[0].printer.c_str(), p->name.c_str()) != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    JobFields fields = Fields(rows[0]);
    if (!PackJobRecords(&fields, 1, (DWORD)-1, job, size, needed, nullptr)) return FALSE;
    std::function<void(DWORD, DWORD)> hook;
    {
        std::lock_guard<std::mutex> hl(g_hookLock);
        hook = g_jobQueryHook;
    }
    if (hook) hook(jobId, ((JOB_INFO_2A *)job)->Status);
    return TRUE;
}

BOOL WINAPI SetJobA(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command) {
    PrinterObj *p = AsPrinter(printer);
    if (!p) return Fail(ERROR_INVALID_HANDLE);
    if (JobUnreadable(jobId)) return Fail(ERROR_INVALID_PARAMETER);
    std::unique_lock<std::recursive_mutex> lock(DbMutex());
    std::vector<JobRow> rows = QueryJobs("WHERE id = ?", std::to_string(jobId));
    if (rows.empty() || lstrcmpiA(rows[0].printer.c_str(), p->name.c_str()) != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    const char *text = nullptr;
    if (!SetJobStatusText(level, job, &text))
        return Fail(level > 2 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
    if (level == 0) {
        if (!ControlJob(jobId, command)) return Fail(ERROR_INVALID_PARAMETER);
        return TRUE;
    }
    std::string status = text ? std::string(text, strnlen(text, 1024)) : "";
    Stmt s("UPDATE jobs SET status_text = ? WHERE id = ?");
    s.Bind(1, status).Bind(2, (long long)jobId);
    if (!s.Run()) return Fail(ERROR_ACCESS_DENIED);
    if (command) ControlJob(jobId, command);
    lock.unlock();
    std::function<void(DWORD, const std::string &)> hook;
    {
        std::lock_guard<std::mutex> hl(g_hookLock);
        hook = g_statusHook;
    }
    if (hook && rows[0].statusText != status) hook(jobId, status);
    return TRUE;
}

BOOL WINAPI EnumJobsA(HANDLE printer, DWORD firstJob, DWORD count, DWORD level, LPBYTE jobs, DWORD size,
                      LPDWORD needed, LPDWORD returned) {
    PrinterObj *p = AsPrinter(printer);
    if (!p) return Fail(ERROR_INVALID_HANDLE);
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    std::vector<JobRow> rows = QueryJobs("WHERE printer = ?", p->name, firstJob, count);
    std::vector<JobFields> fields;
    for (const JobRow &r : rows) fields.push_back(Fields(r));
    return PackJobRecords(fields.data(), (DWORD)fields.size(), firstJob, jobs, size, needed, returned);
}

BOOL WINAPI EnumPrintersA(DWORD flags, LPSTR, DWORD level, LPBYTE printers, DWORD size, LPDWORD needed,
                          LPDWORD returned) {
    if (TheFaults().enumPrinters) return Fail(ERROR_ACCESS_DENIED);
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    if (!(flags & PRINTER_ENUM_LOCAL)) {
        if (needed) *needed = 0;
        if (returned) *returned = 0;
        return TRUE;
    }
    std::vector<PrinterView> list = Printers();
    std::vector<PrinterFields> fields;
    for (const PrinterView &v : list)
        fields.push_back({v.name.c_str(), v.port.c_str(), kDriver, v.status, v.jobs});
    return PackPrinterRecords(fields.data(), (DWORD)fields.size(), printers, size, needed, returned);
}

BOOL WINAPI EnumPortsA(LPSTR, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned) {
    if (level != 1 && level != 2) return Fail(ERROR_INVALID_LEVEL);
    std::vector<PortFields> all(kBuiltInPorts, kBuiltInPorts + kBuiltInPortCount);
    std::vector<std::vector<BYTE>> lists;  // the monitors' records, which the fields point into
    for (EnumPortsFn fn : LoadedMonitors()) {
        DWORD need = 0, count = 0;
        fn(nullptr, MONITOR_PORTS_LEVEL, nullptr, 0, &need, &count);
        if (!need) continue;
        lists.emplace_back(need);
        if (!fn(nullptr, MONITOR_PORTS_LEVEL, lists.back().data(), need, &need, &count)) continue;
        PORT_INFO_2A *pi = (PORT_INFO_2A *)lists.back().data();
        for (DWORD i = 0; i < count; ++i)
            all.push_back({pi[i].pPortName, pi[i].pMonitorName, pi[i].pDescription});
    }
    return PackPortRecords(level, all.data(), (DWORD)all.size(), ports, size, needed, returned);
}

}  // extern "C"
