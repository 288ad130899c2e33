// The monitor over an arbitrary registry: port names of any length and bytes, values of any
// type and length under "Ports" and "Config", then start-up, EnumPorts at any level and
// buffer size (guarded on both sides), OpenPort and DeletePort of every listed port.
#include <qvlmr_host.h>
#include <string.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "monitor_table.h"

namespace {

const char kPorts[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QV TCP/IP LMR Port\\Ports";
const char kConfig[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QV TCP/IP LMR Port\\Config";

bool Ready() {
    static bool ready = [] {
        char dir[] = "/tmp/qvlmr-fuzz-XXXXXX";
        std::string error;
        if (!mkdtemp(dir) || !qvhost::Open(dir, &error)) return false;
        qvhost::SetVirtualClock(true);
        DllEntryPoint((HINSTANCE) nullptr, DLL_PROCESS_ATTACH, nullptr);
        return true;
    }();
    return ready;
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
};

void SetRaw(const char *keyPath, const std::string &name, DWORD type, const std::string &data) {
    HKEY key;
    DWORD disp;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, &disp) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name.c_str(), 0, type, (const BYTE *)data.data(), (DWORD)data.size());
    RegCloseKey(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!Ready()) abort();
    std::string error;
    qvhost::ImportRegText(
        "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\SYSTEM]\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\"
        "Control\\Print\\Monitors\\QV TCP/IP LMR Port]\n",
        &error);
    Reader in{data, size};
    int ports = in.Byte() % 6;
    for (int i = 0; i < ports; ++i) {
        std::string name = in.Bytes(250);
        if (name.find('\0') != std::string::npos) name.resize(name.find('\0'));
        if (name.empty() || name.find('\\') != std::string::npos) continue;
        SetRaw(kPorts, name, in.Byte() % 8, in.Bytes(300));
        std::string key = std::string(kPorts) + "\\" + name;
        for (const char *value : {"Protocol", "PrtQName", "SvrPort"})
            if (in.Byte() & 1) SetRaw(key.c_str(), value, in.Byte() % 8, in.Bytes(300));
    }
    for (const char *value : {"SpoolDir", "PortNum", "SeqNum"})
        if (in.Byte() & 1) SetRaw(kConfig, value, in.Byte() % 8, in.Bytes(300));

    MONITOR monitor;
    memset(&monitor, 0, sizeof monitor);
    InitializeMonitorEx((LPSTR) "", &monitor);
    DWORD level = in.Byte() % 4;
    DWORD bufferSize = (DWORD)in.Byte() * 8;
    std::vector<BYTE> buffer(bufferSize + 64, 0xEE);
    DWORD needed = 0, count = 0;
    monitor.pfnEnumPorts(nullptr, level, buffer.data() + 32, bufferSize, &needed, &count);
    for (int i = 0; i < 32; ++i)
        if (buffer[i] != 0xEE || buffer[32 + bufferSize + i] != 0xEE) abort();
    // Every port in the list can be opened, closed and deleted; the list ends empty.
    for (int guard = 0; guard < 64; ++guard) {
        needed = 0;
        monitor.pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &count);
        if (needed == 0) break;
        std::vector<BYTE> list(needed);
        if (!monitor.pfnEnumPorts(nullptr, 1, list.data(), needed, &needed, &count) || count == 0) abort();
        std::string name = ((PORT_INFO_1A *)list.data())->pName;
        HANDLE h = nullptr;
        if (!monitor.pfnOpenPort((LPSTR)name.c_str(), &h)) abort();
        monitor.pfnClosePort(h);
        if (!monitor.pfnDeletePort(nullptr, nullptr, (LPSTR)name.c_str())) abort();
        if (guard == 63) abort();
    }
    return 0;
}
