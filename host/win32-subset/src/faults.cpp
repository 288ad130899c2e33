#include "host_internal.h"

#include <algorithm>

namespace qvhost {

std::atomic<int> g_openFiles{0}, g_openSockets{0}, g_openPrinters{0}, g_openKeys{0};

Faults &TheFaults() {
    static Faults f;
    return f;
}

std::string Lower(const std::string &s) {
    std::string r(s);
    for (char &c : r)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return r;
}

namespace {
void Toggle(std::vector<std::string> &list, const std::string &item, bool on) {
    std::lock_guard<std::mutex> lock(TheFaults().lock);
    auto it = std::find(list.begin(), list.end(), item);
    if (on && it == list.end()) list.push_back(item);
    if (!on && it != list.end()) list.erase(it);
}
}  // namespace

void ResetFaults() {
    Faults &f = TheFaults();
    std::lock_guard<std::mutex> lock(f.lock);
    f.wsaStartup = f.enumPrinters = f.socketCreate = f.allBinds = false;
    f.openPrinterFailures = 0;
    f.registryWritePrefixes.clear();
    f.loadLibraryNames.clear();
    f.fileCreateSubstrings.clear();
    f.fileWriteLimits.clear();
    f.unreadableJobs.clear();
    f.registryReadHook = nullptr;
    HoldLookups(false);
    FailLookupStart(false);
}

void FailWsaStartup(bool on) {
    TheFaults().wsaStartup = on;
}
void FailEnumPrinters(bool on) {
    TheFaults().enumPrinters = on;
}
void FailSocketCreate(bool on) {
    TheFaults().socketCreate = on;
}
void RefuseAllBinds(bool on) {
    TheFaults().allBinds = on;
}
void FailOpenPrinterTimes(int count) {
    TheFaults().openPrinterFailures = count;
}
void RefuseRegistryWrites(const std::string &prefix, bool on) {
    Toggle(TheFaults().registryWritePrefixes, Lower(prefix), on);
}
void FailLoadLibrary(const std::string &name, bool on) {
    Toggle(TheFaults().loadLibraryNames, Lower(name), on);
}
void FailFileCreate(const std::string &sub, bool on) {
    Toggle(TheFaults().fileCreateSubstrings, Lower(sub), on);
}
void FailFileWritesAfter(const std::string &sub, long long bytes) {
    std::lock_guard<std::mutex> lock(TheFaults().lock);
    TheFaults().fileWriteLimits.push_back({Lower(sub), bytes});
}
void MakeJobUnreadable(DWORD jobId, bool on) {
    Faults &f = TheFaults();
    std::lock_guard<std::mutex> lock(f.lock);
    auto it = std::find(f.unreadableJobs.begin(), f.unreadableJobs.end(), jobId);
    if (on && it == f.unreadableJobs.end()) f.unreadableJobs.push_back(jobId);
    if (!on && it != f.unreadableJobs.end()) f.unreadableJobs.erase(it);
}

void SetRegistryReadHook(std::function<void(const std::string &valueName)> hook) {
    std::lock_guard<std::mutex> lock(TheFaults().lock);
    TheFaults().registryReadHook = std::move(hook);
}
void AfterRegistryRead(const std::string &valueName) {
    std::function<void(const std::string &)> hook;
    {
        std::lock_guard<std::mutex> lock(TheFaults().lock);
        hook = TheFaults().registryReadHook;
    }
    if (hook) hook(valueName);
}

bool RegistryWriteRefused(const std::string &keyPath) {
    Faults &f = TheFaults();
    std::lock_guard<std::mutex> lock(f.lock);
    std::string k = Lower(keyPath);
    for (const std::string &p : f.registryWritePrefixes)
        if (k.compare(0, p.size(), p) == 0) return true;
    return false;
}

bool JobUnreadable(DWORD jobId) {
    Faults &f = TheFaults();
    std::lock_guard<std::mutex> lock(f.lock);
    return std::find(f.unreadableJobs.begin(), f.unreadableJobs.end(), jobId) != f.unreadableJobs.end();
}

int OpenFileHandles() {
    return g_openFiles;
}
int OpenSockets() {
    return g_openSockets;
}
int OpenPrinterHandles() {
    return g_openPrinters;
}
int OpenRegistryKeys() {
    return g_openKeys;
}

}  // namespace qvhost
