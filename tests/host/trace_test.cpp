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
    std::string TraceText() { return FileBytes(TracePath()); }
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
        "receive-job command for queue \"busy\": the printer answered 1 (refused)",
        "attempt failed: the printer refused the queue (class 2, code 100)",
        "waiting 3 s before the next try",
        "connected from local port 1022",
        "data file header \"22 dfA",
        "attempt succeeded",
    });
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[3].ms - e[2].ms, 3000u) << "the wait, on the job's clock";
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
        "waiting 3 s before the next try",
        "job check: the user paused the job",
        "status text \"Paused\"",
        "hold ended: the user resumed the job; trying again at once",
        "attempt succeeded",
        // the second job: deleted in its first wait
        "job check: the user is deleting the job",
    });
    ASSERT_EQ(e.size(), 8u);
    EXPECT_EQ(e[1].ms - e[0].ms, 1000u) << "the one poll a connection has";
    EXPECT_EQ(e[3].ms - e[2].ms, 0u) << "the wait looks at the job before its first second";
    EXPECT_EQ(e[5].ms - e[4].ms, 2000u) << "two one-second looks at the held job";
    EXPECT_NE(e[0].job, e[7].job);
}

// Each job call's result, last error and count of bytes written, the status texts and the
// bytes the printer gets: the same with the trace missing, on, on with a file that cannot be
// written, and off. While off or missing it writes nothing and reads its switch alone.
TEST_F(TraceTest, TheSpoolerIsToldTheSameWithTheTraceMissingOnUnwritableOrOff) {
    ASSERT_TRUE(StartWithPorts({{"m3", 3, 9102}}));
    Raw(9102);
    std::vector<std::string> told, reads;
    size_t traced = 0;
    enum { Missing, On, Unwritable, Off };
    for (int state : {Missing, On, Unwritable, Off}) {
        if (state != Missing) SwitchTrace(state != Off);
        qvhost::FailFileCreate("qvlmrmon.log", state == Unwritable);
        size_t textsBefore = Texts().size();
        if (state == Missing)
            qvhost::SetRegistryReadHook([&](const std::string &name) { reads.push_back(name); });
        DWORD job = QueueJob("m3");
        std::string calls;
        DWORD count = 77;  // the spooler's count of bytes written or read, preset each call
        auto call = [&](const char *name, const std::function<BOOL()> &f, bool counted = false) {
            SetLastError(0);
            count = 77;
            BOOL result = f();
            calls += std::string(name) + (result ? " TRUE" : " FALSE") + " error " +
                     std::to_string(GetLastError());
            if (counted) calls += " count " + std::to_string(count);
            calls += "; ";
        };
        HANDLE h;
        DOC_INFO_2A doc = {(LPSTR) "Report", nullptr, nullptr, 0, 0};
        call("OpenPort", [&] { return monitor_.pfnOpenPort((LPSTR) "m3", &h); });
        qvhost::FailOpenPrinterTimes(120);
        call("StartDocPort", [&] { return monitor_.pfnStartDocPort(h, (LPSTR) "P", job, 2, (LPBYTE)&doc); });
        qvhost::SetRegistryReadHook(nullptr);
        call(
            "WritePort", [&] { return monitor_.pfnWritePort(h, (LPBYTE) "x", 1, &count); }, true);
        call("StartDocPort", [&] { return monitor_.pfnStartDocPort(h, (LPSTR) "P", job, 2, (LPBYTE)&doc); });
        call(
            "WritePort", [&] { return monitor_.pfnWritePort(h, (LPBYTE) "abc", 3, &count); }, true);
        call(
            "WritePort", [&] { return monitor_.pfnWritePort(h, (LPBYTE) "", 0, &count); }, true);
        call(
            "ReadPort", [&] { return monitor_.pfnReadPort(h, (LPBYTE) "", 0, &count); }, true);
        char out[8];
        call(
            "GetPrinterDataFromPort",
            [&] { return monitor_.pfnGetPrinterDataFromPort(h, 1, nullptr, nullptr, 0, out, 8, &count); },
            true);
        COMMTIMEOUTS timeouts = {};
        call("SetPortTimeOuts", [&] { return monitor_.pfnSetPortTimeOuts(h, &timeouts, 0); });
        call("EndDocPort", [&] { return monitor_.pfnEndDocPort(h); });
        monitor_.pfnClosePort(h);
        for (const std::string &text : Texts(textsBefore)) calls += text + "; ";
        told.push_back(calls);
        EXPECT_FALSE(InQueue(job));
        EXPECT_TRUE(state != Missing || !TraceExists()) << "missing, no file";
        if (state == On) traced = TraceText().size();
    }
    qvhost::FailFileCreate("qvlmrmon.log", false);
    EXPECT_EQ(TraceText().size(), traced) << "off, nothing more is written";
    for (const Conversation &c : Received(Raw(9102), 4)) EXPECT_EQ(c.received, "abc");
    EXPECT_THAT(
        told[0],
        AllOf(StartsWith("OpenPort TRUE"),
              HasSubstr("StartDocPort FALSE error 6; WritePort FALSE error 6 count 77; "
                        "StartDocPort TRUE"),
              HasSubstr("WritePort TRUE error 0 count 3; WritePort FALSE error 88 count 0; "
                        "ReadPort FALSE error 6 count 77; GetPrinterDataFromPort FALSE error 87 count 77; "
                        "SetPortTimeOuts FALSE error 0; EndDocPort TRUE"),
              ::testing::EndsWith("; Deleting...; ")));
    EXPECT_EQ(told[On], told[Missing]) << "the trace on";
    EXPECT_EQ(told[Unwritable], told[Missing]) << "the trace on, its file not writable";
    EXPECT_EQ(told[Off], told[Missing]) << "the trace off";
    EXPECT_EQ(reads, (std::vector<std::string>{"Trace", "Trace", "Protocol"}))
        << "opening the port and a start whose printer never opens";
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
