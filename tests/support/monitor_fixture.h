// A fresh state directory, a freshly loaded monitor module and its MONITOR table per test,
// on the virtual clock, with fixed identities and name resolution.
#ifndef QVLMR_TEST_MONITOR_FIXTURE_H
#define QVLMR_TEST_MONITOR_FIXTURE_H

#include <gtest/gtest.h>
#include <qvlmr_host.h>

#include <string>

#include "monitor_names.h"
#include "monitor_table.h"

extern const char kMonitorKey[];  // HKEY_LOCAL_MACHINE\...\QV TCP/IP LMR Port

// True when this process may bind reserved ports (and runs in its own network namespace).
bool CanUseReservedPorts();
// Moves the calling thread into a new network namespace; false when it cannot.
bool UseFreshNetwork();
// The .reg line of a text value (backslashes and quotes escaped), of a REG_DWORD value, and
// of a value of any type holding these bytes.
std::string RegText(const std::string &name, const std::string &text);
std::string RegDword(const std::string &name, DWORD value);
std::string RegHex(const std::string &name, const std::string &bytes, DWORD type = REG_BINARY);
#define REQUIRE_RESERVED_PORTS()                                                            \
    do {                                                                                    \
        if (!CanUseReservedPorts())                                                         \
            GTEST_SKIP() << "needs root: binds reserved local ports 600-1023 and port 515"; \
    } while (0)

class MonitorTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Loads a private copy of the module and starts it; the table is in monitor_.
    BOOL StartMonitor();
    void ImportReg(const std::string &body);  // key lines and values, without the header
    // A port value under "Ports" with the given address, and optional settings.
    void AddPortValue(const std::string &name, const std::string &address, int protocol = -1,
                      int rawPort = -1, const std::string &queue = "\x01");
    // A stored value's bytes and type; false when there is none (or no such key).
    bool ReadValue(const std::string &subkey, const std::string &name, std::string *data,
                   DWORD *type = nullptr);
    // A stored text up to its first zero byte; "<none>" when there is none.
    std::string StoredText(const std::string &subkey, const std::string &name);
    // A stored value of four bytes; 0xFFFFFFFF when there is none.
    DWORD StoredDword(const std::string &subkey, const std::string &name);
    // A port's saved settings as "address|queue|protocol|port number": "-" for a number not
    // stored, "<none>" for a text not stored.
    std::string Saved(const std::string &port);
    DWORD Counter(const std::string &name) { return StoredDword("Config", name); }  // PortNum, SeqNum
    void SetCounter(const std::string &name, DWORD value);
    bool KeyExists(const std::string &subkey);
    std::string PortNames();       // EnumPorts level 1 as "name,name,..."
    std::string SpoolDirectory();  // the default spool directory on disk
    std::vector<std::string> SpoolFiles();

    // What this test opened and has not closed, whatever earlier tests of the process left.
    int SocketsOpened() { return qvhost::OpenSockets() - socketsAtStart_; }
    int FileHandlesOpened() { return qvhost::OpenFileHandles() - filesAtStart_; }
    int PrinterHandlesOpened() { return qvhost::OpenPrinterHandles() - printersAtStart_; }

    std::string home_;
    int socketsAtStart_ = 0, filesAtStart_ = 0, printersAtStart_ = 0;
    MONITOR monitor_ = {};
    HINSTANCE module_ = nullptr;
};

#endif
