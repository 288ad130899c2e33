// The trace a user switches on with the monitor's "Trace" value: the lines that tell a
// refused queue, an unreachable printer, a pause and a delete apart, in order, timed on the
// virtual clock; nothing written while off, nothing changed when it cannot be written.
#include <time.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "print_fixture.h"

namespace {

struct TraceEntry {
    uint64_t ms;  // since the epoch, from the line's local time
    std::string port, job, message;
};

class TraceTest : public NetworkTest {
  protected:
    void SwitchTrace(DWORD on) {
        ImportReg(std::string("[") + kMonitorKey + "\\Config]\n" + RegDword("Trace", on));
    }
    std::string TracePath() { return home_ + "/drive_c/WINDOWS/QVLMRMON.LOG"; }
    bool TraceExists() { return std::ifstream(TracePath()).good(); }
    std::string TraceText() {
        std::ifstream in(TracePath(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // "YYYY-MM-DD HH:MM:SS.mmm PORT[ job N]: message" CRLF lines; a malformed one fails.
    std::vector<TraceEntry> Entries() {
        std::vector<TraceEntry> out;
        std::istringstream in(TraceText());
        for (std::string line; std::getline(in, line);) {
            struct tm t = {};
            int ms = 0, at = 0;
            bool ok = sscanf(line.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d %n", &t.tm_year, &t.tm_mon,
                             &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec, &ms, &at) == 7 &&
                      at == 24 && line.back() == '\r';
            size_t colon = line.find(": ", (size_t)at), job = line.find(" job ", (size_t)at);
            EXPECT_TRUE(ok && colon != std::string::npos) << line;
            if (!ok || colon == std::string::npos) continue;
            t.tm_year -= 1900;
            t.tm_mon -= 1;
            job = job < colon ? job : colon;
            out.push_back({(uint64_t)timegm(&t) * 1000 + (uint64_t)ms, line.substr(at, job - at),
                           job < colon ? line.substr(job + 5, colon - job - 5) : "",
                           line.substr(colon + 2, line.size() - colon - 3)});
        }
        return out;
    }
    // Each expected text is found in a later message than the one before it; the entries
    // found, in order.
    std::vector<TraceEntry> InOrder(const std::vector<std::string> &expected) {
        std::vector<TraceEntry> all = Entries(), found;
        size_t at = 0;
        for (const std::string &want : expected) {
            while (at < all.size() && all[at].message.find(want) == std::string::npos) ++at;
            EXPECT_LT(at, all.size()) << "missing, or out of order: " << want << "\n" << TraceText();
            if (at >= all.size()) break;
            found.push_back(all[at++]);
        }
        return found;
    }
};

TEST_F(TraceTest, RefusedQueueIsNamedThenTheRetryAndTheDeliveryEachStep) {
    ASSERT_TRUE(StartWithPorts({{"lpt", 1, -1, "busy"}}));
    SwitchTrace(1);
    Lpd().SetMisbehaviours({Misbehaviour::AnswerQueueWith1});
    DWORD job = QueueJob("lpt");
    const std::string secret = "PAGE-TEXT-NEVER-TRACED";
    ASSERT_TRUE(Print("lpt", job, secret).ok());
    std::vector<TraceEntry> e = InOrder({
        "OpenPort: TRUE",
        "StartDocPort: printer \"P\", level 2, mode 1",
        "StartDocPort: TRUE",
        "EndDocPort: 22 bytes taken from the spooler",
        "status text \"Sending...\"",
        "connecting to \"127.0.0.1\" = 127.0.0.1 port 515",
        "connected from local port 1023",
        "receive-job command for queue \"busy\": the printer answered 1 (refused)",
        "connection reset",
        "attempt failed: the printer refused the queue (class 2, code 100)",
        "waiting 3 s before the next try",
        "connected from local port 1022",
        "receive-job command for queue \"busy\": the printer answered 0",
        "control file header \"",
        "control file sent: the printer answered 0",
        "data file header \"22 dfA",
        "data file sent: the printer answered 0",
        "connection closed",
        "attempt succeeded",
        "status text \"Deleting...\"",
        "job reported to the spooler as sent to the printer",
        "EndDocPort: TRUE",
        "ClosePort",
    });
    ASSERT_EQ(e.size(), 23u);
    EXPECT_EQ(e[11].ms - e[10].ms, 3000u) << "the wait, on the job's clock";
    for (const TraceEntry &x : Entries()) {
        EXPECT_EQ(x.port, "lpt");
        bool portCall = x.message == "OpenPort: TRUE" || x.message == "ClosePort";
        EXPECT_EQ(x.job, portCall ? "" : std::to_string(job)) << x.message;
    }
    EXPECT_EQ(TraceText().find(secret), std::string::npos) << "printer data is never traced";
}

// Nobody listens at first: each job meets a network error, then the user pauses the first
// in its wait (and resumes it once the printer listens) and deletes the second.
TEST_F(TraceTest, UnreachablePrinterThenAPauseAndResumeThenADeleteAreEachTold) {
    ASSERT_TRUE(StartWithPorts({{"lpt", 1}}));
    SwitchTrace(1);
    const std::string error = "Cannot print(Network Error)";
    for (DWORD command : {(DWORD)JOB_CONTROL_PAUSE, (DWORD)JOB_CONTROL_CANCEL}) {
        DWORD job = QueueJob("lpt");
        SetStatusAction([&](const StatusEvent &e) {
            if (e.text == error && e.job == job) qvhost::ControlJob(job, command);
        });
        int holdPolls = 0;
        qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
            qvhost::JobView v;
            if (!s.select && s.ms == 1000 && qvhost::GetJob(job, &v) && v.statusText == "Paused" &&
                ++holdPolls == 2) {
                Lpd();
                qvhost::ControlJob(job, JOB_CONTROL_RESUME);
            }
        });
        ASSERT_TRUE(Print("lpt", job, "data").ended);
        SetStatusAction(nullptr);
        qvhost::SetSleepHook(nullptr);
        lpd_.reset();
    }
    std::vector<TraceEntry> e = InOrder({
        "connecting to \"127.0.0.1\" = 127.0.0.1 port 515",
        "no connection from local port 1023 within a second",
        "attempt failed: no connection to the printer (class 1, code 5)",
        "status text \"Cannot print(Network Error)\"",
        "waiting 3 s before the next try",
        "job check: the user paused the job",
        "holding the job until the user resumes or deletes it",
        "status text \"Paused\"",
        "hold ended: the user resumed the job; trying again at once",
        "attempt succeeded",
        "EndDocPort: TRUE",
        // the second job: deleted in its first wait
        "status text \"Cannot print(Network Error)\"",
        "waiting 3 s before the next try",
        "job check: the user is deleting the job",
        "status text \"Deleting...\"",
        "job reported to the spooler as sent to the printer",
    });
    ASSERT_EQ(e.size(), 16u);
    EXPECT_EQ(e[1].ms - e[0].ms, 1000u) << "the one poll a connection has";
    EXPECT_EQ(e[5].ms - e[4].ms, 0u) << "the wait looks at the job before its first second";
    EXPECT_EQ(e[8].ms - e[7].ms, 2000u) << "two one-second looks at the held job";
    EXPECT_NE(e[0].job, e[15].job);
}

// Each job call's result, last error and count of bytes written, as the spooler sees them
// on a raw port: the same with the trace off, on, and on with a file that cannot be written.
// While off, the trace reads its switch and nothing else.
TEST_F(TraceTest, TheSpoolerIsToldTheSameWithTheTraceOffOnOrUnwritable) {
    ASSERT_TRUE(StartWithPorts({{"m3", 3, 9102}}));
    Raw(9102);
    std::vector<std::string> told, reads;
    for (int state : {0, 1, 2}) {
        SwitchTrace(state != 0);
        qvhost::FailFileCreate("qvlmrmon.log", state == 2);
        if (state == 0) qvhost::SetRegistryReadHook([&](const std::string &name) { reads.push_back(name); });
        DWORD job = QueueJob("m3");
        std::string calls;
        DWORD count = 77;  // the spooler's count of bytes written or read, preset each call
        auto call = [&](const char *name, const std::function<BOOL()> &f, bool counted = false) {
            SetLastError(0);
            count = 77;
            BOOL result = f();
            calls += std::string(name) + (result ? " TRUE" : " FALSE") + " error " + std::to_string(GetLastError());
            if (counted) calls += " count " + std::to_string(count);
            calls += "; ";
        };
        HANDLE h;
        DOC_INFO_2A doc = {(LPSTR) "Report", nullptr, nullptr, 0, 0};
        call("OpenPort", [&] { return monitor_.pfnOpenPort((LPSTR) "m3", &h); });
        qvhost::FailOpenPrinterTimes(120);
        call("StartDocPort", [&] { return monitor_.pfnStartDocPort(h, (LPSTR) "P", job, 2, (LPBYTE)&doc); });
        qvhost::SetRegistryReadHook(nullptr);
        call("WritePort", [&] { return monitor_.pfnWritePort(h, (LPBYTE) "x", 1, &count); }, true);
        call("StartDocPort", [&] { return monitor_.pfnStartDocPort(h, (LPSTR) "P", job, 2, (LPBYTE)&doc); });
        call("WritePort", [&] { return monitor_.pfnWritePort(h, (LPBYTE) "abc", 3, &count); }, true);
        call("WritePort", [&] { return monitor_.pfnWritePort(h, (LPBYTE) "", 0, &count); }, true);
        call("ReadPort", [&] { return monitor_.pfnReadPort(h, (LPBYTE) "", 0, &count); }, true);
        call("EndDocPort", [&] { return monitor_.pfnEndDocPort(h); });
        monitor_.pfnClosePort(h);
        told.push_back(calls);
        EXPECT_FALSE(InQueue(job));
    }
    qvhost::FailFileCreate("qvlmrmon.log", false);
    EXPECT_THAT(told[0], AllOf(StartsWith("OpenPort TRUE"),
                               HasSubstr("StartDocPort FALSE error 6; WritePort FALSE error 6 count 77; "
                                         "StartDocPort TRUE"),
                               HasSubstr("WritePort TRUE error 0 count 3; WritePort FALSE error 88 count 0; "
                                         "ReadPort FALSE error 6 count 77; EndDocPort TRUE")));
    EXPECT_EQ(told[1], told[0]) << "the trace on";
    EXPECT_EQ(told[2], told[0]) << "the trace on, its file not writable";
    EXPECT_EQ(reads, (std::vector<std::string>{"Trace", "Trace", "Protocol"}))
        << "opening the port and a start whose printer never opens";
    ExpectNothingLeft();
}

TEST_F(TraceTest, OffOrMissingWritesNothingAndAFileThatCannotBeWrittenChangesNothing) {
    ASSERT_TRUE(StartWithLpdPort());
    ASSERT_TRUE(Print("lpt", QueueJob("lpt"), "one").ok());
    SwitchTrace(0);
    ASSERT_TRUE(Print("lpt", QueueJob("lpt"), "two").ok());
    EXPECT_FALSE(TraceExists()) << "off, and missing, mean no file";

    SwitchTrace(1);
    qvhost::FailFileCreate("qvlmrmon.log", true);
    size_t before = Texts().size();
    DWORD job = QueueJob("lpt");
    PrintResult r = Print("lpt", job, "three");
    qvhost::FailFileCreate("qvlmrmon.log", false);
    EXPECT_EQ(r.Outcome(), "written, ended");
    EXPECT_EQ(Texts(before), (std::vector<std::string>{"Sending...", "Deleting..."}));
    EXPECT_EQ(Received(Lpd(), 3)[2].dataFile, "three");
    EXPECT_FALSE(TraceExists());
    ExpectNothingLeft();
}

TEST_F(TraceTest, AFullFileKeepsItsNewerHalfFromAWholeLine) {
    ASSERT_TRUE(StartWithLpdPort());
    SwitchTrace(1);
    {
        std::ofstream old(TracePath(), std::ios::binary);
        for (int i = 0; i < 20000; ++i) old << "old line " << 100000 + i << "\r\n";  // 340,000 bytes
    }
    ASSERT_TRUE(Print("lpt", QueueJob("lpt"), "data").ok());
    std::string text = TraceText();
    EXPECT_LE(text.size(), 262144u);
    EXPECT_GT(text.size(), 131072u);
    EXPECT_EQ(text.compare(0, 9, "old line "), 0) << "starts at a whole line";
    EXPECT_NE(text.find("old line 119999\r\n"), std::string::npos) << "the newest old lines stay";
    EXPECT_EQ(text.find("old line 100000"), std::string::npos) << "the oldest go";
    EXPECT_NE(text.find(": ClosePort\r\n"), std::string::npos);
}

}  // namespace
