// Where job files go, how they are named, and what a start of document does with a
// configured spool directory: seen on disk between StartDocPort and EndDocPort.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "print_fixture.h"

namespace {

class SpoolDirTest : public PrintTest {
  protected:
    void SetSpoolDir(const std::string &value) {
        ImportReg(std::string("[") + kMonitorKey + "\\Config]\n" + RegText("SpoolDir", value));
    }
    // Starts a mode-1 document and writes data; the port stays started.
    HANDLE Start(const std::string &data, const std::string &port = "lpt") {
        HANDLE h = StartDocument(port, QueueJob(port));
        DWORD written = 0;
        EXPECT_TRUE(data.empty() ||
                    monitor_.pfnWritePort(h, (LPBYTE)data.data(), (DWORD)data.size(), &written));
        return h;
    }
    static bool Exists(const std::string &path) { return std::filesystem::exists(path); }
    void SetUp() override {
        PrintTest::SetUp();
        AddPortValue("lpt", "127.0.0.1", 1);
    }
};

TEST_F(SpoolDirTest, ConfiguredDirectoryIsProbedAndUsed) {
    mkdir((home_ + "/drive_d").c_str(), 0755);
    mkdir((home_ + "/drive_d/Jobs").c_str(), 0755);
    SetSpoolDir("D:\\Jobs");
    ASSERT_TRUE(StartMonitor());
    HANDLE h = Start("abc");
    EXPECT_EQ(FileBytes(home_ + "/drive_d/Jobs/QVLMR000.dtf"), "abc");
    EXPECT_FALSE(Exists(home_ + "/drive_d/Jobs/QVLMRDIR.ckf")) << "the probe leaves nothing behind";
    EXPECT_TRUE(SpoolFiles().empty());
    qvhost::ControlJob(qvhost::Jobs("P")[0].id, JOB_CONTROL_CANCEL);
    EXPECT_TRUE(monitor_.pfnEndDocPort(h));
    EXPECT_FALSE(Exists(home_ + "/drive_d/Jobs/QVLMR000.dtf"));
}

struct DirCase {
    std::string made, value, used;  // a folder made first, SpoolDir, the folder used ("": the default)
};

// Each start-up takes the configured directory when it can, else the default one.
TEST_F(SpoolDirTest, MissingLastFolderIsMadeAndTooLongOrUnusableValuesFallBack) {
    const std::string d227 = "drive_c/" + std::string(227, 'd'), e228 = "drive_c/" + std::string(228, 'e');
    const DirCase cases[] = {
        {"drive_c/spool", "C:\\spool\\new\\", "drive_c/spool/new"},
        {"", "C:\\absent\\new", ""},            // its parent is not made
        {d227, "C:\\" + d227.substr(8), d227},  // 230 characters, the most
        {e228, "C:\\" + e228.substr(8), ""},
        {"", "\\", "drive_c"},
        {"", "\\\\", "drive_c"},
    };
    int n = 0;
    for (const DirCase &c : cases) {
        ASSERT_EQ(c.made.empty() ? 0 : system(("mkdir -p '" + home_ + "/" + c.made + "'").c_str()), 0);
        SetSpoolDir(c.value);
        std::string port = "lpt" + std::to_string(n);
        ASSERT_TRUE(StartWithPorts({{port, 1}}));
        Start("x", port);
        std::string dir = c.used.empty() ? SpoolDirectory() : home_ + "/" + c.used;
        EXPECT_TRUE(Exists(dir + "/QVLMR00" + std::to_string(n++) + ".dtf")) << c.value;
        EXPECT_FALSE(Exists(dir + "/QVLMRDIR.ckf")) << c.value << ": the probe leaves nothing behind";
    }
    EXPECT_FALSE(Exists(home_ + "/drive_c/absent"));
    // The last start-up cleaned the root of the job file the run before had left there.
    EXPECT_FALSE(Exists(home_ + "/drive_c/QVLMR004.dtf"));
}

TEST_F(SpoolDirTest, ReusedJobNumberEmptiesTheOldFile) {
    std::ofstream(SpoolDirectory() + "/QVLMR005.dtf") << "stale contents that are longer";
    SetCounter("SeqNum", 4);
    AddPortValue("raw", "127.0.0.1", 3);
    ASSERT_TRUE(StartMonitor());
    // Start-up removed the stale file; put one back as if an old job had left it since.
    std::ofstream(SpoolDirectory() + "/QVLMR005.dtf") << "stale contents that are longer";
    Start("new");
    EXPECT_EQ(FileBytes(SpoolDirectory() + "/QVLMR005.dtf"), "new");
}

TEST_F(SpoolDirTest, DataFileThatCannotBeCreatedFailsTheStartAndReleasesThePrinter) {
    ASSERT_TRUE(StartMonitor());
    qvhost::FailFileCreate(".dtf", true);
    HANDLE h;
    ASSERT_TRUE(monitor_.pfnOpenPort((LPSTR) "lpt", &h));
    DOC_INFO_1A doc = {(LPSTR) "doc", nullptr, nullptr};
    EXPECT_FALSE(monitor_.pfnStartDocPort(h, (LPSTR) "P", QueueJob("lpt"), 2, (LPBYTE)&doc));
    EXPECT_EQ(PrinterHandlesOpened(), 0);
    DOC_INFO_1A noName = {nullptr, nullptr, nullptr};
    EXPECT_FALSE(monitor_.pfnStartDocPort(h, (LPSTR) "P", QueueJob("lpt"), 2, (LPBYTE)&noName));
    EXPECT_EQ(PrinterHandlesOpened(), 0);
    qvhost::FailFileCreate(".dtf", false);
    EXPECT_TRUE(monitor_.pfnStartDocPort(h, (LPSTR) "P", QueueJob("lpt"), 2, (LPBYTE)&doc));
    EXPECT_EQ(Counter("SeqNum"), 1u) << "a number taken by a failed start stays used";
}

TEST_F(SpoolDirTest, WriteFailuresOfTheDataFileReachTheSpooler) {
    ASSERT_TRUE(StartMonitor());
    qvhost::FailFileWritesAfter(".dtf", 10);
    HANDLE h = Start("");
    DWORD written = 0;
    EXPECT_FALSE(monitor_.pfnWritePort(h, (LPBYTE) "0123456789abcdef", 16, &written));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_EQ(written, 10u);
}

}  // namespace
