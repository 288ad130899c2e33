// The qvlmr command line as a user runs it: separate processes sharing one state directory.
#include <signal.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "print_fixture.h"
#include "tool_runner.h"

namespace {

const char kPortsReg[] =
    "REGEDIT4\n\n"
    "[HKEY_LOCAL_MACHINE\\" MONITOR_KEY_PATH
    "\\Ports]\n"
    "\"Zed\"=\"10.0.0.1\"\n\"alpha\"=\"10.0.0.2\"\n\"Lpt\"=\"127.0.0.1\"\n\n"
    "[HKEY_LOCAL_MACHINE\\" MONITOR_KEY_PATH
    "\\Ports\\alpha]\n"
    "\"Protocol\"=dword:00000003\n";

class CliTest : public PrintTest {
  public:
    ToolResult Tool(const std::vector<std::string> &args, const std::string &input = "") {
        return RunTool(home_, args, input);
    }
    // "<exit status>: <standard output><standard error>", in this test's state directory or another
    std::string Said(const std::vector<std::string> &args, const std::string &input = "",
                     const std::string &home = "") {
        ToolResult r = RunTool(home.empty() ? home_ : home, args, input);
        return std::to_string(r.status) + ": " + r.out + r.err;
    }
    std::string Export() { return Tool({"reg", "export", "--exact"}).out; }
    // The ports of kPortsReg, and printer Office on one of them.
    void OfficeOn(const std::string &port) {
        ASSERT_EQ(Tool({"reg", "import", "-"}, kPortsReg).status, 0);
        ASSERT_EQ(Tool({"printer", "add", "Office", "--port", port}).status, 0);
    }
    std::string Document(const std::string &name, const std::string &data) {
        std::string path = home_ + "/" + name;
        std::ofstream(path, std::ios::binary) << data;
        return path;
    }
    // Waits (in real time, up to ms) until f is true.
    template <class F>
    bool Eventually(F f, int ms = 20000) {
        for (int waited = 0; !f(); waited += 10) {
            if (waited >= ms) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    bool WaitForText(DWORD job, const std::string &text) {
        qvhost::JobView v;
        return Eventually([&] { return qvhost::GetJob(job, &v) && v.statusText == text; });
    }
    // The first job of printer Office once it has the status bits (another process queues it).
    DWORD OfficeJob(DWORD bits = 0) {
        DWORD job = 0;
        Eventually([&] {
            std::vector<qvhost::JobView> jobs = qvhost::Jobs("Office");
            job = !jobs.empty() && (jobs[0].status & bits) == bits ? jobs[0].id : 0;
            return job != 0;
        });
        return job;
    }
};

TEST_F(CliTest, PortDeleteInOtherCaseAndRefusalWhileJobsAreQueued) {
    OfficeOn("Zed");
    DWORD job = qvhost::AddJob("Office", "doc", "bob");
    EXPECT_EQ(Said({"port", "delete", "ALPHA"}), "1: qvlmr: port ALPHA is in use: job " +
                                                     std::to_string(job) +
                                                     " on printer Office is queued; cancel it first\n");
    EXPECT_THAT(Export(), HasSubstr("\"alpha\"=")) << "nothing changed";
    ASSERT_EQ(Tool({"cancel", std::to_string(job)}).status, 0);
    EXPECT_EQ(Said({"port", "delete", "ALPHA"}), "0: ");
    std::string reg = Export();
    EXPECT_THAT(reg, Not(HasSubstr("alpha")));
    EXPECT_THAT(reg, HasSubstr("\"Zed\"="));
    EXPECT_THAT(Said({"port", "delete", "alpha"}), AllOf(StartsWith("1: "), HasSubstr("no port named")));
}

TEST_F(CliTest, VersionNamesTheModuleAndBadInputGivesOneClearLineChangingNothing) {
    EXPECT_THAT(Said({"--version"}), AllOf(StartsWith("0: "), HasSubstr("\nmonitor module 2.037e\n")));
    ASSERT_EQ(Tool({"reg", "import", "-"}, kPortsReg).status, 0);
    std::string before = Export();
    EXPECT_EQ(Said({"reg", "import", "-"}, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=dword:zz\n"),
              "1: qvlmr: reg import: line 4: cannot read the value data 'dword:zz'\n");
    EXPECT_EQ(Export(), before) << "a failed import stores nothing";
    EXPECT_EQ(Tool({"ports", "--level", "3"}).status, 2);
    EXPECT_EQ(Tool({"frobnicate"}).status, 2);
    EXPECT_EQ(Tool({"--version", "x"}).status, 2);
    EXPECT_EQ(Tool({"pause", "abc"}).status, 2);
    EXPECT_EQ(Tool({"pause", "99999"}).status, 1);
    EXPECT_EQ(Tool({"print", "--printer", "nope", "/dev/null"}).status, 1);
    EXPECT_EQ(Tool({"print", "--printer"}).status, 2);
    EXPECT_EQ(Tool({"print", "--printer", "x", "--chunk", "0"}).status, 2);
    EXPECT_EQ(Tool({"trace", "maybe"}).status, 2);
    EXPECT_EQ(
        Said({"trace", "show"}),
        "1: qvlmr: trace: no trace file C:\\WINDOWS\\QVLMRMON.LOG (switch it on with 'qvlmr trace on')\n");
    EXPECT_EQ(Export(), before);
    EXPECT_EQ(Said({"printer", "add", "P1", "--port", "NOPORT"}),
              "1: qvlmr: printer add: no port named 'NOPORT' (see qvlmr ports)\n");
    EXPECT_EQ(Tool({"printer", "add", "P1", "--port", "lpt"}).status, 0) << "a port of the monitor";
    EXPECT_EQ(Tool({"printer", "add", "P2", "--port", "LPT1:"}).status, 0) << "a built-in port";
    // Where the monitor was never installed, what needs it says so and stores nothing.
    std::string fresh = home_ + "/fresh";
    std::string hint = "1: qvlmr: the monitor is not installed in " + fresh + " (run: qvlmr install)\n";
    EXPECT_EQ(Said({"port", "add", "--name", "X1", "--address", "10.1.2.3", "--lpr"}, "", fresh), hint);
    EXPECT_EQ(Said({"ports"}, "", fresh), hint);
    EXPECT_EQ(Said({"trace", "on"}, "", fresh), hint);
    EXPECT_EQ(Said({"printer", "add", "P1", "--port", "X1"}, "", fresh),
              "1: qvlmr: printer add: no port named 'X1' (see qvlmr ports)\n");
}

// A job printed by another qvlmr process to printer Office on port Lpt, where nobody listens
// on 515: once it shows the network error, it waits on the real clock.
ToolProcess StartWaitingJob(CliTest *t, const std::string &home, DWORD *job, bool trace = false) {
    t->OfficeOn("Lpt");
    if (trace) {
        EXPECT_EQ(t->Tool({"trace", "on"}).status, 0);
    }
    ToolProcess p = StartTool(
        home, {"print", "--printer", "Office", "--title", "Memo", t->Document("doc.txt", "hello\n")});
    *job = t->OfficeJob();
    EXPECT_TRUE(*job && t->WaitForText(*job, "Cannot print(Network Error)"));
    return p;
}

TEST_F(CliTest, AnotherProcessPausesResumesAndCancelsAJobBeingDelivered) {
    REQUIRE_RESERVED_PORTS();
    DWORD job;
    ToolProcess p = StartWaitingJob(this, home_, &job, true);
    ASSERT_NE(job, 0u);
    ToolResult list = Tool({"jobs"});
    EXPECT_EQ(list.out, std::to_string(job) + "\tOffice\tprinting\tCannot print(Network Error)\n");
    ToolResult second = Tool({"ports"});
    EXPECT_EQ(second.status, 1) << "a second spooler would delete the printing job's files";
    EXPECT_THAT(second.err, HasSubstr("another qvlmr process has the monitor loaded"));
    ASSERT_EQ(Tool({"pause", std::to_string(job)}).status, 0);
    EXPECT_TRUE(WaitForText(job, "Paused"));
    EXPECT_THAT(Tool({"jobs", "--printer", "Office"}).out, HasSubstr("paused,printing\tPaused"));
    ASSERT_EQ(Tool({"resume", std::to_string(job)}).status, 0);
    EXPECT_TRUE(WaitForText(job, "Cannot print(Network Error)"));
    ASSERT_EQ(Tool({"cancel", std::to_string(job)}).status, 0);
    ToolResult r = FinishTool(p);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::to_string(job) + "\n");
    // Every status text, as it changed, with a timestamp.
    EXPECT_THAT(r.err,
                AllOf(HasSubstr(": Sending...\n"), HasSubstr(": Paused\n"), HasSubstr(": Deleting...\n")));
    EXPECT_EQ(Tool({"jobs"}).out, "");
    // The trace, switched on by this process before the other one printed, shows that job.
    EXPECT_THAT(Tool({"trace", "show"}).out, HasSubstr(" job " + std::to_string(job) + ": "));
}

// Two printers on one port take turns on it, one job at a time, as the Windows 95 spooler
// sends them; another printer is added while they print.
TEST_F(CliTest, PrintersSharingAPortTakeTurnsAndAPrinterIsAddedWhileTheyPrint) {
    REQUIRE_RESERVED_PORTS();
    OfficeOn("Lpt");
    ASSERT_EQ(Tool({"printer", "add", "Lab", "--port", "lpt"}).status, 0);
    Pace slow;
    slow.bytesPerSecond = 1 << 20;
    Lpd().SetPace(slow);
    const std::string data = Bytes(200000, 9);
    ToolProcess p =
        StartTool(home_, {"print", "--printer", "Office,Lab", "--repeat", "3", Document("d.bin", data)});
    ASSERT_NE(OfficeJob(), 0u);
    EXPECT_EQ(Said({"printer", "add", "Hall", "--port", "LPT"}), "0: ") << "beside a running print";
    ToolResult r = FinishTool(p);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<Conversation> c = Received(Lpd(), 6);
    EXPECT_EQ(Lpd().Conversations().size(), 6u);
    for (size_t i = 0; i < c.size(); ++i) {
        EXPECT_TRUE(c[i].complete && c[i].dataFile == data) << i;
        if (i) {
            EXPECT_GE(c[i].startedAt, c[i - 1].endedAt) << "one connection at a time: " << i;
        }
    }
}

TEST_F(CliTest, AKilledPrintLeavesAnInterruptedJobThatTheNextSpoolerReleases) {
    REQUIRE_RESERVED_PORTS();
    DWORD job;
    ToolProcess p = StartWaitingJob(this, home_, &job);
    ASSERT_NE(job, 0u);
    kill(p.pid, SIGKILL);
    FinishTool(p);
    std::string id = std::to_string(job);
    EXPECT_EQ(Tool({"jobs"}).out, id + "\tOffice\tinterrupted\tCannot print(Network Error)\n");
    // The next process to load the monitor is a spooler restarted after a crash.
    EXPECT_EQ(Said({"port", "delete", "Zed"}),
              "1: qvlmr: job " + id +
                  " on printer Office was interrupted; it stays queued until cancelled\n" +
                  "qvlmr: port Zed is in use: job " + id + " on printer Office is queued; cancel it first\n");
    EXPECT_EQ(Tool({"jobs"}).out, id + "\tOffice\tqueued\t\n");
    ASSERT_EQ(Tool({"cancel", id}).status, 0);
    EXPECT_EQ(Tool({"jobs"}).out, "");
    EXPECT_EQ(Tool({"port", "delete", "Zed"}).status, 0);
}

TEST_F(CliTest, InterruptingAPrintStopsTheDeliveryAndCancelRemovesTheJob) {
    REQUIRE_RESERVED_PORTS();
    OfficeOn("Lpt");
    ASSERT_EQ(Tool({"port", "configure", "Lpt", "--raw", "--port-number", "9112"}).status, 0);
    Raw(9112).SetReading(false);  // the printer stops reading: the transfer stalls
    std::string data = Bytes(32 << 20, 9);
    ToolProcess p = StartTool(home_, {"print", "--printer", "Office", Document("big.bin", data)});
    DWORD job = OfficeJob(JOB_STATUS_PRINTING);
    ASSERT_NE(job, 0u);
    Eventually([&] { return !Raw().Conversations().empty(); });
    ASSERT_EQ(Raw().Conversations().size(), 1u) << "the transfer has begun";
    kill(p.pid, SIGINT);
    ToolResult r = FinishTool(p);
    std::string id = std::to_string(job);
    EXPECT_EQ(r.status, 130);
    EXPECT_THAT(r.err, HasSubstr("qvlmr: interrupted: job " + id + " is no longer being printed"));
    Raw().SetReading(true);
    ASSERT_TRUE(Raw().WaitForConversations(1, 10000));
    Conversation c = Raw().Conversations()[0];
    EXPECT_TRUE(c.reset) << "the printer is told the document was cut short";
    EXPECT_LT(c.received.size(), data.size());
    EXPECT_EQ(Tool({"jobs"}).out.find(id + "\tOffice\tinterrupted\t"), 0u);
    ASSERT_EQ(Tool({"cancel", id}).status, 0);
    EXPECT_EQ(Tool({"jobs"}).out, "");
}

TEST_F(CliTest, ReadableAndExactExportsImportToTheSameSettings) {
    ASSERT_EQ(Tool({"install"}).status, 0);
    ASSERT_EQ(Tool({"port", "add", "--name", "LPR1", "--address", "127.0.0.1:lp"}).status, 0);
    std::string readable = Tool({"reg", "export"}).out, exact = Export();
    EXPECT_THAT(readable, HasSubstr("\"LPR1\"=\"127.0.0.1\"\n"));
    EXPECT_THAT(readable, HasSubstr("\"PrtQName\"=\"lp\"\n"));
    EXPECT_THAT(exact, HasSubstr("\"LPR1\"=hex(1):31,32,37,2e,30,2e,30,2e,31\n"));
    for (bool precise : {false, true}) {
        std::vector<std::string> exportForm = {"reg", "export"};
        if (precise) exportForm.push_back("--exact");
        std::string home = home_ + (precise ? "/exact" : "/readable"), form = precise ? exact : readable;
        ASSERT_EQ(RunTool(home, {"reg", "import", "-"}, form).status, 0);
        EXPECT_EQ(RunTool(home, exportForm).out, form) << "read back the same";
    }
}

TEST_F(CliTest, PortAddAndConfigureTypeTheFieldsIntoTheSetupDialog) {
    ASSERT_EQ(Tool({"install"}).status, 0);
    ASSERT_EQ(Tool({"reg", "import", "-"}, kPortsReg).status, 0);
    setenv("QVLMR_HOSTS", "printer1=127.0.0.1", 1);
    EXPECT_EQ(Said({"port", "add", "--name", "p1", "--address", "printer1:lp"}), "0: added p1\n");
    EXPECT_EQ(Said({"port", "add", "--name", "r1", "--address", "10.0.0.3", "--raw", "--port-number", "515"}),
              "0: added r1\n");
    EXPECT_THAT(Said({"port", "add", "--name", "p2", "--address", "printer9"}),
                AllOf(StartsWith("1: "), HasSubstr("The host you have just entered is not available.")));
    unsetenv("QVLMR_HOSTS");
    std::string reg = Tool({"reg", "export"}).out;
    EXPECT_THAT(reg, HasSubstr("\\Ports\\p1]\n\"PrtQName\"=\"lp\"\n\"Protocol\"=dword:00000001\n\n"));
    EXPECT_THAT(
        reg, HasSubstr(
                 "\\Ports\\r1]\n\"PrtQName\"=\"\"\n\"Protocol\"=dword:00000003\n\"SvrPort\"=dword:00000203"));
    EXPECT_EQ(Tool({"ports"}).out, "Zed\nalpha\nLpt\np1\nr1\n");

    // configure: LPR keeps the stored port number; the name cannot be changed; cancel saves nothing
    EXPECT_EQ(Tool({"port", "configure", "R1", "--lpr", "--no-byte-count"}).status, 0);
    reg = Export();
    EXPECT_THAT(
        reg, HasSubstr(
                 "\\Ports\\r1]\n\"PrtQName\"=\"\"\n\"Protocol\"=dword:00000002\n\"SvrPort\"=dword:00000203"));
    EXPECT_EQ(Tool({"port", "configure", "r1", "--name", "other"}).status, 1);
    EXPECT_EQ(Tool({"port", "configure", "r1", "--address", "10.0.0.4", "--cancel"}).status, 1);
    EXPECT_EQ(Export(), reg);
}

}  // namespace
