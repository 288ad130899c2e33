// What the fuzz targets share: a state directory opened once, the monitor started from
// the core linked into the target, and a reader that cuts the input into fields.
#ifndef QVLMR_FUZZ_SUPPORT_H
#define QVLMR_FUZZ_SUPPORT_H

#include <qvlmr_host.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "monitor_table.h"
#include "../tests/support/table_print.h"

#define MONITOR_KEY "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QV TCP/IP LMR Port"

// A fresh state directory on the virtual clock, names resolved only from fixed entries, and
// the module entry run once.
inline bool FuzzReady() {
    static bool ready = [] {
        char dir[] = "/tmp/qvlmr-fuzz-XXXXXX";
        std::string error;
        if (!mkdtemp(dir) || !qvhost::Open(dir, &error)) return false;
        qvhost::SetVirtualClock(true);
        qvhost::UseOnlyHostEntries(true);
        qvhost::AddHostEntry("printer1", "127.0.0.1");
        DllEntryPoint((HINSTANCE) nullptr, DLL_PROCESS_ATTACH, nullptr);
        return true;
    }();
    return ready;
}

// Empties the registry but for the monitor's key, then adds extraReg (.reg lines).
inline void ResetRegistry(const std::string &extraReg = "") {
    std::string error;
    qvhost::ImportRegText(
        "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\SYSTEM]\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
        "[HKEY_LOCAL_MACHINE\\" MONITOR_KEY "]\n" +
            extraReg,
        &error);
}

// Starts the monitor on what the registry holds now.
inline void StartMonitor(MONITOR *monitor) {
    if (!StartMonitorModule(nullptr, nullptr, InitializeMonitorEx, monitor)) abort();
}

// The port list outlives a start-up: an input starts from none.
inline void DeleteAllPorts(MONITOR &monitor) {
    for (int guard = 0; guard < 64; ++guard) {
        std::vector<std::string> names;
        if (!ListPortNames(monitor, &names)) abort();
        if (names.empty()) return;
        if (!monitor.pfnDeletePort(nullptr, nullptr, (LPSTR)names[0].c_str())) abort();
    }
    abort();
}

struct Reader {
    const uint8_t *p;
    size_t left;
    uint8_t Byte() { return left ? (--left, *p++) : 0; }
    std::string Bytes(size_t max) {
        size_t n = std::min<size_t>(Byte() % (max + 1), left);
        std::string s((const char *)p, n);
        p += n;
        left -= n;
        return s;
    }
    std::string Text(size_t max) {  // bytes up to the first zero
        std::string s = Bytes(max);
        return s.substr(0, s.find('\0'));
    }
};

// A value of any type and bytes, as another program might have written it.
inline void SetRawValue(const std::string &keyPath, const std::string &name, DWORD type,
                        const std::string &data) {
    HKEY key;
    DWORD disp;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        &disp) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name.c_str(), 0, type, (const BYTE *)data.data(), (DWORD)data.size());
    RegCloseKey(key);
}

#endif
