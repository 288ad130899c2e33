// The monitor over an arbitrary registry: port names of any length and bytes, values of any
// type and length under "Ports" and "Config", then start-up, EnumPorts at any level and
// buffer size (guarded on both sides), OpenPort and DeletePort of every listed port.
#include <vector>

#include "fuzz_support.h"

namespace {

const char kPorts[] = MONITOR_KEY "\\Ports";
const char kConfig[] = MONITOR_KEY "\\Config";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!FuzzReady()) abort();
    ResetRegistry();
    Reader in{data, size};
    int ports = in.Byte() % 6;
    for (int i = 0; i < ports; ++i) {
        std::string name = in.Bytes(250);
        if (name.find('\0') != std::string::npos) name.resize(name.find('\0'));
        if (name.empty() || name.find('\\') != std::string::npos) continue;
        SetRawValue(kPorts, name, in.Byte() % 8, in.Bytes(300));
        std::string key = std::string(kPorts) + "\\" + name;
        for (const char *value : {"Protocol", "PrtQName", "SvrPort"})
            if (in.Byte() & 1) SetRawValue(key, value, in.Byte() % 8, in.Bytes(300));
    }
    for (const char *value : {"SpoolDir", "PortNum", "SeqNum"})
        if (in.Byte() & 1) SetRawValue(kConfig, value, in.Byte() % 8, in.Bytes(300));
    MONITOR monitor;
    StartMonitor(&monitor);
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
