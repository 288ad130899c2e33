// AddPort over an arbitrary proposal of the sibling client: values of any type, length and
// bytes, with and without terminators. Either the port is added silently, with values that
// pass the rules, or the dialog opens with fields within its limits; nothing else.
#include <stdlib.h>

#include <atomic>
#include <thread>

#include "../src/ui/resource.h"
#include "../src/ui/sibling_import.h"
#include "fuzz_support.h"

namespace {

const char *const kValues[] = {"Protocol", "RawPort", "LPRQueue", "PortName", "IPAddress"};

DWORD StoredNumber(const std::string &port, const char *value) {
    HKEY key;
    DWORD v = 0xFFFFFFFF, size = sizeof v;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (MONITOR_KEY "\\Ports\\" + port).c_str(), 0, KEY_READ, &key) != 0)
        return v;
    RegQueryValueExA(key, value, nullptr, nullptr, (LPBYTE)&v, &size);
    RegCloseKey(key);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!FuzzReady()) abort();
    ResetRegistry();
    MONITOR monitor;
    StartMonitor(&monitor);
    DeleteAllPorts(monitor);
    Reader in{data, size};
    for (const char *value : kValues)
        if (in.Byte() & 1) SetRawValue(SIBLING_KEY_PATH, value, in.Byte() % 12, in.Bytes(300));

    DWORD thread = 0;
    std::atomic<bool> started{false}, finished{false};
    BOOL result = FALSE;
    std::thread call([&] {
        thread = GetCurrentThreadId();
        started = true;
        char monitorName[] = "QV TCP/IP LMR Port";
        result = monitor.pfnAddPort(nullptr, nullptr, monitorName);
        finished = true;
    });
    while (!started) std::this_thread::yield();
    HWND d = nullptr;
    while (!finished && !(d = qvhost::WaitForDialog(IDD_PORT_SETUP_ADD, thread, 50))) {
    }
    if (d) {
        if (qvhost::FieldText(d, IDC_PORT_NAME).size() > 40) abort();
        if (qvhost::FieldText(d, IDC_ADDRESS).size() > 128) abort();
        unsigned long port = strtoul(qvhost::FieldText(d, IDC_PORT_NUMBER).c_str(), nullptr, 10);
        if (port > 65535) abort();
        qvhost::ClickButton(d, IDCANCEL);
    }
    call.join();
    if (!d) {
        // the silent add: exactly one port, whose stored values pass the rules
        DWORD needed = 0, count = 0;
        monitor.pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &count);
        std::string list(needed + 1, '\0');
        if (!result || !monitor.pfnEnumPorts(nullptr, 1, (LPBYTE)&list[0], needed, &needed, &count) ||
            count != 1)
            abort();
        std::string name = ((PORT_INFO_1A *)&list[0])->pName;
        if (name.empty() || name.size() > 40 || name.find('\\') != std::string::npos) abort();
        DWORD protocol = StoredNumber(name, "Protocol"), port = StoredNumber(name, "SvrPort");
        if (protocol < 1 || protocol > 3 || port > 65535) abort();
    } else if (result) {
        abort();  // cancelled: nothing added
    }
    return 0;
}
