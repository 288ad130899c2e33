#include "table_print.h"

#include <string.h>

#include <algorithm>

PrintResult PrintThroughTable(MONITOR &m, const std::string &port, const std::string &printer, DWORD job,
                              const std::string &data, DWORD level, const std::string &document,
                              size_t chunk) {
    HANDLE h = nullptr;
    if (!m.pfnOpenPort((LPSTR)port.c_str(), &h)) return PrintResult();
    PrintResult r = PrintOnOpenPort(m, h, printer, job, data, level, document, chunk);
    m.pfnClosePort(h);
    return r;
}

PrintResult PrintOnOpenPort(MONITOR &m, HANDLE h, const std::string &printer, DWORD job,
                            const std::string &data, DWORD level, const std::string &document, size_t chunk) {
    PrintResult r;
    r.opened = TRUE;
    DOC_INFO_2A doc = {};
    doc.pDocName = (LPSTR)document.c_str();
    SetLastError(0);
    r.started = m.pfnStartDocPort(h, (LPSTR)printer.c_str(), job, level, (LPBYTE)&doc);
    r.startError = GetLastError();
    if (r.started) {
        while (r.bytes < data.size()) {
            DWORD n = (DWORD)std::min(chunk, data.size() - r.bytes), written = 0;
            if (!m.pfnWritePort(h, (LPBYTE)data.data() + r.bytes, n, &written) || written == 0) {
                r.written = FALSE;
                r.writeError = GetLastError();
                break;
            }
            r.bytes += written;
        }
        r.ended = m.pfnEndDocPort(h);
    }
    return r;
}

std::string PrintResult::Outcome() const {
    if (!started) return "start failed: " + std::to_string(startError);
    return (written ? std::string("written") : "write failed: " + std::to_string(writeError)) +
           (ended ? ", ended" : ", not ended");
}

bool ListPortNames(MONITOR &m, std::vector<std::string> *names, DWORD *needed) {
    DWORD size = 0, count = 0;
    names->clear();
    m.pfnEnumPorts(nullptr, 1, nullptr, 0, &size, &count);
    std::string buffer(size + 1, '\0');
    bool ok = m.pfnEnumPorts(nullptr, 1, (LPBYTE)&buffer[0], size, &size, &count);
    for (DWORD i = 0; ok && i < count; ++i) names->push_back(((PORT_INFO_1A *)&buffer[0])[i].pName);
    if (needed) *needed = ok ? size : 0;
    return ok;
}

BOOL StartMonitorModule(ModuleEntryFn entry, HINSTANCE instance, InitializeMonitorFn init, MONITOR *table) {
    if (entry && !entry(instance, DLL_PROCESS_ATTACH, nullptr)) return FALSE;
    memset(table, 0, sizeof *table);
    char root[] = "";  // not consulted
    return init(root, table);
}
