#include "monitor_fixture.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sched.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "table_print.h"

const char kMonitorKey[] = "HKEY_LOCAL_MACHINE\\" MONITOR_KEY_PATH;

namespace {

// A network namespace of its own for the calling thread and the threads it starts, with
// its loopback up, so port 515 and the reserved local ports never clash with other tests or
// servers, nor with the connections an earlier test of this process left in TIME_WAIT.
bool EnterFreshNetworkNamespace() {
    if (geteuid() != 0) return false;
    if (unshare(CLONE_NEWNET) != 0) return false;
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    struct ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    strcpy(ifr.ifr_name, "lo");
    bool up =
        ioctl(fd, SIOCGIFFLAGS, &ifr) == 0 && (ifr.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &ifr) == 0);
    close(fd);
    return up;
}

// Root test processes get one before any thread starts.
bool g_isolated = EnterFreshNetworkNamespace();

std::string MakeTempDir() {
    char tmpl[] = "/tmp/qvlmr-test-XXXXXX";
    char *dir = mkdtemp(tmpl);
    return dir ? dir : "";
}

}  // namespace

std::string RegText(const std::string &name, const std::string &text) {
    std::string out = "\"" + name + "\"=\"";
    for (char c : text) out += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
    return out + "\"\n";
}

std::string RegDword(const std::string &name, DWORD value) {
    char buf[32];
    snprintf(buf, sizeof buf, "=dword:%08x\n", (unsigned)value);
    return "\"" + name + "\"" + buf;
}

std::string RegHex(const std::string &name, const std::string &bytes, DWORD type) {
    std::string out =
        "\"" + name + "\"=hex" + (type == REG_BINARY ? "" : "(" + std::to_string(type) + ")") + ":";
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        snprintf(buf, sizeof buf, "%s%02x", i ? "," : "", (unsigned char)bytes[i]);
        out += buf;
    }
    return out + "\n";
}

bool CanUseReservedPorts() {
    return g_isolated;
}

bool UseFreshNetwork() {
    return g_isolated && EnterFreshNetworkNamespace();
}

void MonitorTest::SetUp() {
    home_ = MakeTempDir();
    ASSERT_FALSE(home_.empty());
    std::string error;
    ASSERT_TRUE(qvhost::Open(home_, &error)) << error;
    qvhost::ResetFaults();
    qvhost::ClearMonitors();
    qvhost::SetVirtualClock(true);
    qvhost::ClearSleeps();
    qvhost::SetSleepHook(nullptr);
    qvhost::SetStatusHook(nullptr);
    qvhost::SetRealSelectSliceMs(25);
    qvhost::UseOnlyHostEntries(false);
    qvhost::UseOnlyHostEntries(true);
    qvhost::AddHostEntry("pc1", "127.0.0.1");
    qvhost::AddHostEntry("printer1", "127.0.0.1");
    qvhost::SetHostName("pc1");
    qvhost::SetComputerName("PC1");
    qvhost::SetUserName("alice");
    qvhost::SetCodePage(1252);
    ImportReg(std::string("[") + kMonitorKey + "]\n\"Driver\"=\"QVLMRMON.DLL\"\n");
    socketsAtStart_ = qvhost::OpenSockets();
    filesAtStart_ = qvhost::OpenFileHandles();
    printersAtStart_ = qvhost::OpenPrinterHandles();
}

void MonitorTest::TearDown() {
    qvhost::SetSleepHook(nullptr);
    qvhost::SetStatusHook(nullptr);
    qvhost::ClearMonitors();
    qvhost::ResetFaults();
    std::error_code ignored;
    if (home_.compare(0, 16, "/tmp/qvlmr-test-") == 0) std::filesystem::remove_all(home_, ignored);
}

BOOL MonitorTest::StartMonitor() {
    // A private copy, so every test starts from a module that has never run.
    static int serial = 0;
    std::string copy = home_ + "/module-" + std::to_string(++serial) + ".so";
    std::error_code copied;
    std::filesystem::copy_file(QVLMR_MODULE_PATH, copy, copied);
    EXPECT_FALSE(copied) << copied.message();
    std::string error;
    module_ = qvhost::LoadModule(copy, &error);
    EXPECT_NE(module_, nullptr) << error;
    if (!module_) return FALSE;
    auto entry = (ModuleEntryFn)qvhost::ModuleSymbol(module_, "DllEntryPoint");
    auto init = (InitializeMonitorFn)qvhost::ModuleSymbol(module_, "InitializeMonitorEx");
    EXPECT_TRUE(entry && init);
    if (!entry || !init) return FALSE;
    BOOL ok = StartMonitorModule(entry, module_, init, &monitor_);
    qvhost::RegisterMonitorEnumPorts(monitor_.pfnEnumPorts);
    return ok;
}

void MonitorTest::ImportReg(const std::string &body) {
    std::string error;
    ASSERT_TRUE(qvhost::ImportRegText("REGEDIT4\n\n" + body, &error)) << error;
}

void MonitorTest::AddPortValue(const std::string &name, const std::string &address, int protocol, int rawPort,
                               const std::string &queue) {
    std::string text = std::string("[") + kMonitorKey + "\\Ports]\n" + RegText(name, address);
    if (protocol >= 0 || rawPort >= 0 || queue != "\x01") {
        text += std::string("[") + kMonitorKey + "\\Ports\\" + name + "]\n";
        if (protocol >= 0) text += RegDword("Protocol", (DWORD)protocol);
        if (rawPort >= 0) text += RegDword("SvrPort", (DWORD)rawPort);
        if (queue != "\x01") text += RegText("PrtQName", queue);
    }
    ImportReg(text);
}

namespace {
LONG OpenMonitorKey(const std::string &subkey, HKEY *key) {
    std::string path = std::string(kMonitorKey).substr(strlen("HKEY_LOCAL_MACHINE\\"));
    if (!subkey.empty()) path += "\\" + subkey;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key);
}
}  // namespace

void MonitorTest::SetCounter(const std::string &name, DWORD value) {
    ImportReg(std::string("[") + kMonitorKey + "\\Config]\n" + RegDword(name, value));
}

bool MonitorTest::ReadValue(const std::string &subkey, const std::string &name, std::string *data,
                            DWORD *type) {
    HKEY key;
    if (OpenMonitorKey(subkey, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG r = RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size);
    if (r == ERROR_SUCCESS) {
        data->assign(size, '\0');
        r = RegQueryValueExA(key, name.c_str(), nullptr, type, (LPBYTE) & (*data)[0], &size);
    }
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

std::string MonitorTest::StoredText(const std::string &subkey, const std::string &name) {
    std::string data;
    return ReadValue(subkey, name, &data) ? data.substr(0, data.find('\0')) : "<none>";
}

DWORD MonitorTest::StoredDword(const std::string &subkey, const std::string &name) {
    std::string data;
    DWORD v = 0xFFFFFFFF;
    if (ReadValue(subkey, name, &data) && data.size() == 4) memcpy(&v, data.data(), 4);
    return v;
}

std::string MonitorTest::Saved(const std::string &port) {
    std::string key = "Ports\\" + port;
    auto number = [&](const char *name) {
        DWORD v = StoredDword(key, name);
        return v == 0xFFFFFFFF ? std::string("-") : std::to_string(v);
    };
    return StoredText("Ports", port) + "|" + StoredText(key, "PrtQName") + "|" + number("Protocol") + "|" +
           number("SvrPort");
}

bool MonitorTest::KeyExists(const std::string &subkey) {
    HKEY key;
    if (OpenMonitorKey(subkey, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string MonitorTest::PortNames() {
    std::vector<std::string> list;
    if (!ListPortNames(monitor_, &list)) return "<failed>";
    std::string names;
    for (const std::string &n : list) names += (names.empty() ? "" : ",") + n;
    return names;
}

std::string MonitorTest::SpoolDirectory() {
    return home_ + "/drive_c/WINDOWS/Spool/Printers";
}

std::vector<std::string> MonitorTest::SpoolFiles() {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(SpoolDirectory(), ec))
        out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}
