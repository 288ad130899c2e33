// Start-up, the port list, EnumPorts, DeletePort, OpenPort/ClosePort and mode routing,
// all through the module's exports and its MONITOR table.
#include <string.h>

#include <fstream>

#include "print_fixture.h"

namespace {

const DWORD kSentinel = 0xA5A5A5A5;

class SpineTest : public MonitorTest {
  protected:
    // EnumPorts into a buffer of `size` bytes (at buf_.data() + 8) between guard bytes.
    BOOL Enum(DWORD level, DWORD size) {
        buf_.assign(size + 16, 0xEE);
        needed = count = kSentinel;
        SetLastError(kSentinel);
        BOOL ok = monitor_.pfnEnumPorts(nullptr, level, buf_.data() + 8, size, &needed, &count);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(buf_[i], 0xEE) << "written before the buffer";
            EXPECT_EQ(buf_[8 + size + i], 0xEE) << "written past the buffer";
        }
        return ok;
    }
    template <class Info>
    Info *Entries() {
        return (Info *)(buf_.data() + 8);
    }
    DWORD needed = 0, count = 0;
    std::vector<BYTE> buf_;
};

// The cases that print, to printer P; the others run with no printer at all, as with one
// the spooler's printer query inside DeletePort leaves a last error of its own.
class SpinePrintTest : public PrintTest {};

TEST_F(SpineTest, StartupWithoutPortsKeyCreatesPortsConfigAndSpoolDir) {
    ASSERT_FALSE(KeyExists("Ports"));
    ASSERT_TRUE(StartMonitor());
    EXPECT_EQ(monitor_.pfnOpenPortEx, nullptr) << "the spooler would call it instead of OpenPort";
    EXPECT_TRUE(KeyExists("Ports"));
    EXPECT_TRUE(KeyExists("Config"));
    std::string data;
    DWORD type = 0;
    ASSERT_TRUE(ReadValue("Config", "SpoolDir", &data, &type));
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(data, std::string(1, '\0'));  // an empty text is one zero byte
    for (DWORD level : {2, 3}) {            // no ports: not even a level to refuse
        EXPECT_TRUE(Enum(level, 0));
        EXPECT_EQ(needed, 0u);
        EXPECT_EQ(count, 0u);
    }
}

TEST_F(SpineTest, StartupFailsOnlyWhenSocketsDoNotStartAndStillFillsTheTable) {
    AddPortValue("p1", "10.0.0.1");
    qvhost::FailWsaStartup(true);
    EXPECT_FALSE(StartMonitor());
    ASSERT_NE(monitor_.pfnEnumPorts, nullptr);
    Enum(1, 64);
    EXPECT_EQ(count, 1u);
}

TEST_F(SpineTest, StartupDeletesStaleJobFilesOnly) {
    for (const char *n :
         {"QVLMR012.dtf", "QVLMR012.ctf", "QVLMRDIR.ckf", "QVLMR012.txt", "QVLMR1234.dtf", "other.dtf"})
        std::ofstream(SpoolDirectory() + "/" + n) << "";
    ASSERT_TRUE(StartMonitor());
    EXPECT_EQ(SpoolFiles(), (std::vector<std::string>{"QVLMR012.txt", "QVLMR1234.dtf", "other.dtf"}));
}

TEST_F(SpineTest, EnumPortsLevel1SizesAndPacking) {
    AddPortValue("IP_10", "10.0.0.10");
    ASSERT_TRUE(StartMonitor());
    EXPECT_FALSE(Enum(1, 0));
    const DWORD exact = sizeof(PORT_INFO_1A) + 6;
    EXPECT_EQ(needed, exact);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);

    EXPECT_FALSE(Enum(1, exact - 1));
    EXPECT_EQ(needed, exact);
    EXPECT_EQ(count, kSentinel);  // untouched on failure
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    for (DWORD i = 0; i < exact - 1; ++i) ASSERT_EQ(buf_[8 + i], 0xEE) << "buffer written on failure";

    ASSERT_TRUE(Enum(1, exact));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(GetLastError(), kSentinel);  // success sets no error
    PORT_INFO_1A *info = Entries<PORT_INFO_1A>();
    EXPECT_STREQ(info->pName, "IP_10");

    // No buffer at all, whatever size the caller claims, is too small.
    EXPECT_FALSE(monitor_.pfnEnumPorts(nullptr, 1, nullptr, 1000, &needed, &count));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_TRUE(Enum(1, exact + 1));
    EXPECT_FALSE(Enum(3, 100));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_LEVEL);
    EXPECT_EQ(needed + count, 0u);
}

TEST_F(SpineTest, EnumPortsLevel2Texts) {
    AddPortValue("first", "10.0.0.1");
    AddPortValue("second", "10.0.0.2");
    ASSERT_TRUE(StartMonitor());
    Enum(2, 0);
    const DWORD perPort = sizeof(PORT_INFO_2A) + 19 + 22;
    EXPECT_EQ(needed, 2 * perPort + 6 + 7);
    EXPECT_FALSE(Enum(2, needed - 1));
    ASSERT_TRUE(Enum(2, needed));
    ASSERT_EQ(count, 2u);
    PORT_INFO_2A *info = Entries<PORT_INFO_2A>();
    EXPECT_STREQ(info[0].pPortName, "first");
    EXPECT_STREQ(info[0].pMonitorName, "QV TCP/IP LMR Monitor");
    EXPECT_STREQ(info[0].pDescription, "QV TCP/IP LMR Port");
    EXPECT_EQ(info[0].fPortType, (DWORD)PORT_TYPE_WRITE);
    EXPECT_EQ(info[0].Reserved, 0u);
    EXPECT_STREQ(info[1].pPortName, "second");
    EXPECT_NE(info[0].pMonitorName, info[1].pMonitorName) << "each port has strings of its own";
    ASSERT_TRUE(Enum(2, needed + 1));
    EXPECT_EQ(count, 2u);
}

TEST_F(SpineTest, OpenPortFindsNamesWithoutRegardToCase) {
    AddPortValue("IPS1", "10.0.0.1");
    ASSERT_TRUE(StartMonitor());
    HANDLE h = (HANDLE)0x1234, h2 = nullptr;
    EXPECT_TRUE(monitor_.pfnOpenPort((LPSTR) "ips1", &h));
    EXPECT_NE(h, (HANDLE)0x1234);
    EXPECT_TRUE(monitor_.pfnOpenPort((LPSTR) "IPS1", &h2));
    EXPECT_EQ(h, h2);  // the same record again
    HANDLE untouched = (HANDLE)0x77;
    SetLastError(kSentinel);
    EXPECT_FALSE(monitor_.pfnOpenPort((LPSTR) "nope", &untouched));
    EXPECT_EQ(untouched, (HANDLE)0x77);
    EXPECT_EQ(GetLastError(), kSentinel);
    EXPECT_TRUE(monitor_.pfnClosePort(h));
}

TEST_F(SpineTest, DeletePortRemovesRecordKeyAndValueInAnyCase) {
    AddPortValue("Head", "10.0.0.1", 3, 9100);
    AddPortValue("Middle", "10.0.0.2", 1);
    AddPortValue("Tail", "10.0.0.3");
    ASSERT_TRUE(StartMonitor());
    EXPECT_TRUE(monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR) "middle"));
    EXPECT_FALSE(KeyExists("Ports\\Middle"));
    EXPECT_EQ(StoredText("Ports", "Middle"), "<none>");
    EXPECT_TRUE(monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR) "HEAD"));
    EXPECT_FALSE(KeyExists("Ports\\Head"));
    EXPECT_EQ(PortNames(), "Tail");
    SetLastError(kSentinel);
    EXPECT_FALSE(monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR) "Middle"));
    EXPECT_EQ(GetLastError(), kSentinel);
}

TEST_F(SpineTest, DeletePortRefusedWhileOpenOrWhileAnyPrinterHasQueuedJobs) {
    AddPortValue("p1", "10.0.0.1");
    ASSERT_TRUE(StartMonitor());
    std::string error;
    ASSERT_TRUE(qvhost::AddPrinter("Other", "LPT1:", &error));
    DWORD job = qvhost::AddJob("Other", "doc", "bob");
    ASSERT_NE(job, 0u);
    EXPECT_FALSE(monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR) "p1"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(StoredText("Ports", "p1"), "10.0.0.1");
    ASSERT_TRUE(qvhost::RemoveJob(job));
    HANDLE h;
    ASSERT_TRUE(monitor_.pfnOpenPort((LPSTR) "p1", &h));
    EXPECT_FALSE(monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR) "p1"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    monitor_.pfnClosePort(h);
    qvhost::FailEnumPrinters(true);  // the jobs cannot be looked at: the delete goes ahead
    EXPECT_TRUE(monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR) "p1"));
    EXPECT_EQ(StoredText("Ports", "p1"), "<none>");
}

// Modes outside 1..3 (0, 4, or a Protocol stored as the text "3") print nothing and succeed.
TEST_F(SpinePrintTest, ModesOutsideOneToThreeSucceedWithoutEffect) {
    AddPortValue("zero", "127.0.0.1", 0);
    AddPortValue("four", "127.0.0.1", 4);
    ImportReg(std::string("[") + kMonitorKey + "\\Ports]\n\"text\"=\"127.0.0.1\"\n[" + kMonitorKey +
              "\\Ports\\text]\n" + RegHex("Protocol", "3", REG_SZ));
    ASSERT_TRUE(StartMonitor());
    for (const char *port : {"zero", "four", "text"}) {
        qvhost::ClearSleeps();
        HANDLE h = StartDocument(port, QueueJob(port), 1);
        EXPECT_TRUE(qvhost::Sleeps().empty()) << "no printer was opened for " << port;
        char data[] = "abc";
        DWORD written = 0, read = kSentinel;
        EXPECT_TRUE(monitor_.pfnWritePort(h, (LPBYTE)data, 3, &written) &&
                    monitor_.pfnReadPort(h, (LPBYTE)data, 3, &read));
        EXPECT_EQ(read, kSentinel);
        EXPECT_TRUE(monitor_.pfnEndDocPort(h) && monitor_.pfnClosePort(h)) << port;
    }
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_EQ(SocketsOpened(), 0);
}

TEST_F(SpinePrintTest, OddStoredValuesOfAPortKeepToTheDefaults) {
    // A Protocol of two bytes, a PrtQName of 300 bytes without terminator, an SvrPort of
    // eight bytes: the monitor keeps to its defaults and never reads past its buffers.
    const std::string q300(300, 'q');
    ImportReg(std::string("[") + kMonitorKey + "\\Ports]\n" + RegHex("odd", q300, REG_SZ) + "[" +
              kMonitorKey + "\\Ports\\odd]\n" + RegHex("Protocol", std::string("\3\0", 2), REG_DWORD) +
              RegHex("PrtQName", q300, REG_SZ) + RegHex("SvrPort", "\1\2\3\4\5\6\7\10", REG_DWORD));
    ASSERT_TRUE(StartMonitor());
    DWORD job = QueueJob("odd");
    // A two-byte Protocol of 3 is mode 3; the host name of 300 bytes was read as 255 and is
    // not a name that resolves: the job waits, and is deleted.
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        if (!s.select && s.ms == 1000) qvhost::ControlJob(job, JOB_CONTROL_CANCEL);
    });
    EXPECT_EQ(Print("odd", job, "").Outcome(), "start failed: " + std::to_string(ERROR_INVALID_HANDLE))
        << "the direct path's failure";
    EXPECT_EQ(SocketsOpened(), 0);
}

}  // namespace
