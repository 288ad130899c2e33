// The registry store's text and number reads over values of any type and length, into
// buffers of exactly the documented 256 bytes: every text read ends inside its buffer.
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "../src/config/registry_store.h"
#include "fuzz_support.h"
#include "monitor_state.h"

namespace {

void CheckText(LONG (*read)(const char *, const char *, char *), const char *owner, const char *value) {
    std::vector<char> buffer(REGISTRY_TEXT_SIZE, 'X');
    if (read(owner, value, buffer.data()) == 0 && !memchr(buffer.data(), 0, buffer.size())) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!FuzzReady()) abort();
    ResetRegistry();
    Reader in{data, size};
    std::string port = in.Text(80);
    if (port.empty() || port.find('\\') != std::string::npos) port = "P";
    std::string portKey = std::string(MONITOR_KEY "\\Ports\\") + port;
    for (const char *value : {"PrtQName", "Protocol", "SvrPort"})
        if (in.Byte() & 1) SetRawValue(portKey, value, in.Byte() % 12, in.Bytes(300));
    SetRawValue(MONITOR_KEY "\\Ports", port, in.Byte() % 12, in.Bytes(300));
    if (in.Byte() & 1) SetRawValue(MONITOR_KEY "\\Config", "SpoolDir", in.Byte() % 12, in.Bytes(300));

    EnterMonitorLock();
    CheckText(ReadPortSettingString, port.c_str(), "PrtQName");
    CheckText(QueryPortSettingString, port.c_str(), "PrtQName");
    CheckText(ReadMonitorSettingString, "Ports", port.c_str());
    CheckText(QueryMonitorSettingString, "Ports", port.c_str());
    CheckText(ReadMonitorSettingString, "Config", "SpoolDir");
    DWORD number = 0;
    ReadPortSettingDword(port.c_str(), "Protocol", &number);
    ReadPortSettingDword(port.c_str(), "SvrPort", &number);
    char path[KEY_PATH_SIZE];
    std::string part = in.Text(400);
    if (BuildMonitorKeyPath(path, part.c_str(), port.c_str()) && strlen(path) >= KEY_PATH_SIZE) abort();
    LeaveMonitorLock();
    return 0;
}
