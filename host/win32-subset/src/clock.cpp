// Ticks and sleeps on a clock that is real by default and virtual under test.
#include "host_internal.h"

#include <sched.h>
#include <time.h>
#include <unistd.h>

namespace qvhost {

namespace {
std::atomic<bool> g_virtual{false};
std::atomic<uint64_t> g_virtualNow{1000000};
std::atomic<DWORD> g_selectSlice{25};
std::mutex g_logLock;
std::vector<SleepRecord> g_log;
std::function<void(const SleepRecord &)> g_hook;

uint64_t RealMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000 + (uint64_t)ts.tv_nsec / 1000000;
}
}  // namespace

void SetVirtualClock(bool on) {
    g_virtual = on;
}
bool VirtualClock() {
    return g_virtual;
}
uint64_t NowMs() {
    return g_virtual ? g_virtualNow.load() : RealMs();
}
void SetRealSelectSliceMs(DWORD ms) {
    g_selectSlice = ms;
}
DWORD RealSelectSliceMs() {
    return g_selectSlice;
}

std::vector<SleepRecord> Sleeps() {
    std::lock_guard<std::mutex> lock(g_logLock);
    return g_log;
}
void ClearSleeps() {
    std::lock_guard<std::mutex> lock(g_logLock);
    g_log.clear();
}
size_t CountSleeps(DWORD ms, bool select) {
    std::lock_guard<std::mutex> lock(g_logLock);
    size_t n = 0;
    for (const SleepRecord &r : g_log)
        if (r.ms == ms && r.select == select) ++n;
    return n;
}
void SetSleepHook(std::function<void(const SleepRecord &)> hook) {
    std::lock_guard<std::mutex> lock(g_logLock);
    g_hook = std::move(hook);
}

void AdvanceVirtualClock(DWORD ms) {
    g_virtualNow.fetch_add(ms);
}

void RecordVirtualWait(DWORD ms, bool select) {
    SleepRecord r{g_virtualNow.fetch_add(ms), ms, select};
    std::function<void(const SleepRecord &)> hook;
    {
        std::lock_guard<std::mutex> lock(g_logLock);
        g_log.push_back(r);
        hook = g_hook;
    }
    if (hook) hook(r);
}

}  // namespace qvhost

using namespace qvhost;

extern "C" {

DWORD WINAPI GetTickCount(void) {
    return (DWORD)NowMs();
}

// The wall clock as the process first read it, moved on by the clock in use: under test the
// times of day follow the virtual clock, so gaps between them are the waits exactly.
void WINAPI GetLocalTime(LPSYSTEMTIME out) {
    static const uint64_t startWall = [] {
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        return (uint64_t)ts.tv_sec * 1000 + (uint64_t)ts.tv_nsec / 1000000;
    }();
    static const uint64_t startClock = NowMs();
    uint64_t wall = startWall + (NowMs() - startClock);
    time_t seconds = (time_t)(wall / 1000);
    struct tm local;
    localtime_r(&seconds, &local);
    out->wYear = (WORD)(local.tm_year + 1900);
    out->wMonth = (WORD)(local.tm_mon + 1);
    out->wDayOfWeek = (WORD)local.tm_wday;
    out->wDay = (WORD)local.tm_mday;
    out->wHour = (WORD)local.tm_hour;
    out->wMinute = (WORD)local.tm_min;
    out->wSecond = (WORD)local.tm_sec;
    out->wMilliseconds = (WORD)(wall % 1000);
}

void WINAPI Sleep(DWORD ms) {
    if (ms == 0) {
        sched_yield();
        return;
    }
    if (g_virtual) {
        RecordVirtualWait(ms, false);
        sched_yield();
        return;
    }
    struct timespec ts = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

}  // extern "C"
