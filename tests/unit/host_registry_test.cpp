// .reg text in and out in both forms, and what the monitor's settings store makes of odd
// stored values.
#include <string.h>

#include "monitor_fixture.h"

namespace {

class HostRegistryTest : public MonitorTest {};

TEST_F(HostRegistryTest, RegTextRoundTripsEveryKindOfValue) {
    const std::string text =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Round]\n"
        "@=\"default \\\"quoted\\\" \\\\ text\"\n"
        "\"sz\"=\"plain\"\n"
        "\"raw\"=hex(1):61,62\n"
        "\"dw\"=dword:0000238c\n"
        "\"short\"=hex(4):01,02,03\n"
        "\"bin\"=hex:00,ff,\\\n"
        "  10\n"
        "\"empty\"=hex(1):\n"
        "\"path\"=hex(2):25,41,25,00\n";
    std::string error;
    ASSERT_TRUE(qvhost::ImportRegText(text, &error)) << error;
    std::string readable = qvhost::ExportRegText("HKEY_LOCAL_MACHINE\\Software\\Round");
    EXPECT_NE(readable.find("\"raw\"=\"ab\"\n\"dw\""), std::string::npos) << readable;
    EXPECT_NE(readable.find("\"empty\"=\"\"\n\"path\"=str(2):\"%A%\"\n"), std::string::npos) << readable;
    std::string first = qvhost::ExportRegText("HKEY_LOCAL_MACHINE\\Software\\Round", true);
    EXPECT_NE(first.find("\"raw\"=hex(1):61,62\n"), std::string::npos) << first;
    EXPECT_NE(first.find("\"dw\"=dword:0000238c\n"), std::string::npos);
    EXPECT_NE(first.find("\"short\"=hex(4):01,02,03\n"), std::string::npos);
    EXPECT_NE(first.find("\"bin\"=hex:00,ff,10\n"), std::string::npos);
    EXPECT_NE(first.find("@=\"default \\\"quoted\\\" \\\\ text\"\n"), std::string::npos);
    // Export, wipe, import the export: the same tree again.
    ASSERT_TRUE(qvhost::ImportRegText("REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Software\\Round]\n", &error));
    EXPECT_EQ(qvhost::ExportRegText("HKEY_LOCAL_MACHINE\\Software\\Round"), "REGEDIT4\n\n");
    ASSERT_TRUE(qvhost::ImportRegText(first, &error)) << error;
    EXPECT_EQ(qvhost::ExportRegText("HKEY_LOCAL_MACHINE\\Software\\Round", true), first);
    ASSERT_TRUE(qvhost::ImportRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Round]\n\"sz\"=-\n", &error));
    EXPECT_EQ(qvhost::ExportRegText("HKEY_LOCAL_MACHINE\\Software\\Round").find("\"sz\""), std::string::npos);
}

TEST_F(HostRegistryTest, SettingsStoreToleratesOddValuesOfAPort) {
    // A Protocol of two bytes, a PrtQName of 300 bytes without terminator, an SvrPort of
    // eight bytes: the monitor keeps to its defaults and never reads past its buffers.
    std::string longQueue(300, 'q');
    std::string hexQueue;
    for (size_t i = 0; i < longQueue.size(); ++i) hexQueue += (i ? ",71" : "71");
    ImportReg(std::string("[") + kMonitorKey + "\\Ports]\n\"odd\"=hex(1):" + hexQueue + "\n[" + kMonitorKey +
              "\\Ports\\odd]\n\"Protocol\"=hex(4):03,00\n\"PrtQName\"=hex(1):" + hexQueue +
              "\n\"SvrPort\"=hex(4):01,02,03,04,05,06,07,08\n");
    ASSERT_TRUE(StartMonitor());
    std::string error;
    ASSERT_TRUE(qvhost::AddPrinter("P", "odd", &error));
    DWORD job = qvhost::AddJob("P", "doc", "alice");
    qvhost::SetJobStatusBits(job, JOB_STATUS_PRINTING, 0);
    HANDLE h;
    ASSERT_TRUE(monitor_.pfnOpenPort((LPSTR) "odd", &h));
    // A two-byte Protocol of 3 is mode 3; the host name of 300 bytes was read as 255 and is
    // not a name that resolves: the job waits, and is deleted.
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        if (!s.select && s.ms == 1000) qvhost::ControlJob(job, JOB_CONTROL_CANCEL);
    });
    DOC_INFO_1A doc = {(LPSTR) "doc", nullptr, nullptr};
    EXPECT_FALSE(monitor_.pfnStartDocPort(h, (LPSTR) "P", job, 2, (LPBYTE)&doc));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE) << "the direct path's failure";
    EXPECT_EQ(qvhost::OpenSockets(), 0);
}

}  // namespace
