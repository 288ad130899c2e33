// State shared between the host layer's files.
#ifndef QVLMR_HOST_INTERNAL_H
#define QVLMR_HOST_INTERNAL_H

#include <qvlmr_host.h>

#include <atomic>
#include <mutex>
#include <string>

// A Win32 call's failure: the last error set and the call's failure value given back.
template <class T>
T Failed(DWORD code, T value) {
    SetLastError(code);
    return value;
}

namespace qvhost {

struct Faults {
    std::mutex lock;
    bool wsaStartup = false;
    bool enumPrinters = false;
    bool socketCreate = false;
    bool allBinds = false;
    std::atomic<int> openPrinterFailures{0};
    std::vector<std::string> registryWritePrefixes;
    std::vector<std::string> loadLibraryNames;
    std::vector<std::string> fileCreateSubstrings;
    std::vector<std::pair<std::string, long long>> fileWriteLimits;
    std::vector<DWORD> unreadableJobs;
    std::function<void(const std::string &)> registryReadHook;
};
Faults &TheFaults();
bool RegistryWriteRefused(const std::string &keyPath);
void AfterRegistryRead(const std::string &valueName);
bool JobUnreadable(DWORD jobId);

// Identity and code page (kernel.cpp)
UINT CodePage();
bool HostNameFor(std::string *out);  // false: gethostname fails

// Handle counters
extern std::atomic<int> g_openFiles, g_openSockets, g_openPrinters, g_openKeys;

// Lower-case ASCII copy
std::string Lower(const std::string &s);

// Post a message to a host window by id, in any process (windows.cpp).
bool PostToWindow(long long id, UINT msg, WPARAM w, LPARAM l);

// Fold the real wait of a virtual select into the clock (clock.cpp).
void RecordVirtualWait(DWORD ms, bool select);
DWORD RealSelectSliceMs();
void AdvanceVirtualClock(DWORD ms);  // without a record in the sleep log

// In-process windows: dialogs and their controls (dialogs.cpp).
bool IsLocalWindow(HWND window);
bool PostToLocalWindow(HWND window, UINT msg, WPARAM w, LPARAM l);
DWORD LocalWindowThread(HWND window);
void NotifyDialogs();  // wakes waiters on dialog state, e.g. when a lookup ends

// Name lookups under way that will answer (async_lookup.cpp).
int ActiveLookups();

// Painting records (gdi.cpp).
void ClearPaintRecords();

}  // namespace qvhost

#endif
