// The setup dialog's OK checks with arbitrary field texts, in add and configure mode: the
// dialog either saves (the port's stored address is the field's host part) or stays open
// with its fields bounded; it never saves a port it refused, and every call returns.
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <thread>

#include "../src/ui/dotted_address.h"
#include "../src/ui/port_settings.h"
#include "../src/ui/resource.h"
#include "fuzz_support.h"

namespace {

bool HasPort(MONITOR &monitor, const std::string &name) {
    DWORD needed = 0, count = 0;
    monitor.pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &count);
    std::string list(needed + 1, '\0');
    if (!monitor.pfnEnumPorts(nullptr, 1, (LPBYTE)&list[0], needed, &needed, &count)) return false;
    for (DWORD i = 0; i < count; ++i)
        if (lstrcmpiA(((PORT_INFO_1A *)&list[0])[i].pName, name.c_str()) == 0) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!FuzzReady()) abort();
    ResetRegistry("[HKEY_LOCAL_MACHINE\\" MONITOR_KEY "\\Ports]\n\"LP_OLD\"=\"10.0.0.1\"\n");
    MONITOR monitor;
    StartMonitor(&monitor);
    DeleteAllPorts(monitor);
    Reader in{data, size};
    bool add = in.Byte() & 1;
    uint8_t choices = in.Byte();
    std::string name = in.Text(60), address = in.Text(300), portNumber = in.Text(10);

    DWORD thread = 0;
    std::atomic<bool> started{false};
    BOOL result = FALSE;
    std::thread call([&] {
        thread = GetCurrentThreadId();
        started = true;
        char monitorName[] = "QV TCP/IP LMR Port", oldPort[] = "LP_OLD";
        result = add ? monitor.pfnAddPort(nullptr, nullptr, monitorName)
                     : monitor.pfnConfigurePort(nullptr, nullptr, oldPort);
    });
    while (!started) std::this_thread::yield();
    HWND d = qvhost::WaitForDialog(add ? IDD_PORT_SETUP_ADD : IDD_PORT_SETUP_CONFIGURE, thread);
    if (!d) abort();
    if (choices & 1) qvhost::ClickButton(d, choices & 2 ? IDC_RAW : IDC_LPR);
    if (choices & 4) qvhost::ClickButton(d, IDC_BYTE_COUNT);
    if (add) qvhost::PasteText(d, IDC_PORT_NAME, name);
    qvhost::PasteText(d, IDC_ADDRESS, address);
    if (choices & 8) qvhost::PasteText(d, IDC_PORT_NUMBER, portNumber);
    std::string typedName = qvhost::FieldText(d, IDC_PORT_NAME);
    std::string typedAddress = qvhost::FieldText(d, IDC_ADDRESS);
    if (typedName.size() > 40 || typedAddress.size() > 128) abort();  // the text limits
    qvhost::ClickButton(d, IDOK);
    bool saved = !qvhost::DialogOpen(d);
    for (int i = 0; i < 2 && qvhost::DialogOpen(d); ++i) qvhost::ClickButton(d, IDCANCEL);
    call.join();
    if (add && (result != FALSE) != saved) abort();
    if (add && saved != HasPort(monitor, typedName)) abort();
    if (saved) {
        char stored[256] = {0};
        DWORD type, length = sizeof stored - 1;
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MONITOR_KEY "\\Ports", 0, KEY_READ, &key) != ERROR_SUCCESS)
            abort();
        LONG r = RegQueryValueExA(key, typedName.c_str(), nullptr, &type, (LPBYTE)stored, &length);
        RegCloseKey(key);
        if (r != ERROR_SUCCESS || strchr(stored, ':')) abort();
        // the host part as typed, or its dotted rewrite
        std::string host = typedAddress.substr(0, typedAddress.find(':'));
        char rewritten[LOOKUP_HOST_SIZE];
        snprintf(rewritten, sizeof rewritten, "%s", host.c_str());
        NormalizeDottedAddress(rewritten);
        if (host != stored && strcmp(rewritten, stored) != 0) abort();
    }
    if (add && saved) monitor.pfnDeletePort(nullptr, nullptr, (LPSTR)typedName.c_str());
    return 0;
}
