// Waits, holds, retries and releases of the job paths, timed on the virtual clock.
#include <atomic>
#include <future>
#include <thread>

#include "print_fixture.h"

namespace {

class DeliveryTest : public NetworkTest {};

TEST_F(DeliveryTest, NetworkFailuresWaitThreeSixTwelveTwentyFourThenThreeAgain) {
    ASSERT_TRUE(StartWithPorts({{"lpt", 1}}));
    DWORD job = QueueJob("lpt");
    int errors = 0;  // nobody listens until the sixth network error is on the job
    SetStatusAction([&](const StatusEvent &e) {
        if (e.text == "Cannot print(Network Error)" && ++errors == 6) Lpd();
    });
    PrintResult r = Print("lpt", job, "data");
    ASSERT_TRUE(r.ended);
    std::vector<uint64_t> waits = Gaps("Cannot print(Network Error)", "Sending...");
    EXPECT_EQ(waits, (std::vector<uint64_t>{3000, 6000, 12000, 24000, 3000, 6000}));
    Conversation c = Received(Lpd(), 1)[0];
    EXPECT_EQ(c.dataFile, "data");
    EXPECT_EQ(c.sourcePort, 1023 - 6) << "every failed connection moved the local port on";
}

// Paused in its second (6 s) wait, the job holds; resumed, it tries again at once, and its
// waits begin again at 3 s.
TEST_F(DeliveryTest, PausedInANetworkWaitItHoldsThenRetriesAtOnceWaitingFromThreeSecondsAgain) {
    ASSERT_TRUE(StartWithPorts({{"lpt", 1}}));
    DWORD job = QueueJob("lpt");
    const std::string error = "Cannot print(Network Error)";
    int errors = 0;
    SetStatusAction([&](const StatusEvent &e) {
        errors += e.text == error;
        if (e.text == error && errors == 2) qvhost::ControlJob(job, JOB_CONTROL_PAUSE);
        if (e.text == error && errors == 3) Lpd();  // listens from the third failure
    });
    uint64_t resumedAt = 0;
    int holdPolls = 0;
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        qvhost::JobView v;
        if (!s.select && s.ms == 1000 && qvhost::GetJob(job, &v) && v.statusText == "Paused" &&
            ++holdPolls == 5) {
            resumedAt = qvhost::NowMs();
            qvhost::ControlJob(job, JOB_CONTROL_RESUME);
        }
    });
    ASSERT_TRUE(Print("lpt", job, "data").ended);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Sending...", error, "Sending...", error, "Paused",
                                                 "Sending...", error, "Sending...", "Deleting..."}));
    EXPECT_EQ(Statuses().at(5).at, resumedAt) << "the new attempt starts at once after the resume";
    std::vector<uint64_t> waits = Gaps(error, "Sending...");
    ASSERT_EQ(waits.size(), 3u);
    EXPECT_EQ(waits[0], 3000u);
    EXPECT_EQ(waits[2], 3000u) << "after the resume the waits begin again at 3 s";
    EXPECT_EQ(Received(Lpd(), 1)[0].dataFile, "data");
}

// A control file that cannot be written holds the job, paused by the monitor, until the user
// resumes it (sent whole then) or deletes it; only the spooled mode says so in a text.
TEST_F(DeliveryTest, JobFileFailureHoldsTheJobUntilResumedOrDeleted) {
    ASSERT_TRUE(StartWithPorts({{"m1", 1}, {"m2", 2}}));
    const std::string data = Bytes(70000, 5);
    for (std::string port : {"m1", "m2"}) {
        for (bool resume : {true, false}) {
            const std::string what = port + (resume ? " resumed" : " deleted");
            if (lpd_) lpd_->Stop();
            lpd_.reset();
            Lpd();
            qvhost::FailFileCreate(".ctf", true);
            DWORD job = QueueJob(port);
            size_t textsBefore = Texts().size();
            int holds = 0;
            qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
                qvhost::JobView v;
                if (s.select || s.ms != 1000 || !qvhost::GetJob(job, &v) || !(v.status & JOB_STATUS_PAUSED) ||
                    holds++ != 2)
                    return;
                qvhost::FailFileCreate(".ctf", false);
                qvhost::ControlJob(job, resume ? JOB_CONTROL_RESUME : JOB_CONTROL_CANCEL);
            });
            PrintResult r = Print(port, job, data);
            qvhost::SetSleepHook(nullptr);
            EXPECT_EQ(holds, 3) << what << ": held, paused by the monitor";
            std::vector<std::string> texts = Texts(textsBefore);
            if (port == "m1") {
                EXPECT_TRUE(r.ended) << what;
                EXPECT_EQ(texts.at(1), "Cannot print(Spool Error)") << what;
            } else {
                EXPECT_EQ(r.Outcome(),
                          resume ? "written, ended" : "start failed: " + std::to_string(ERROR_INVALID_HANDLE))
                    << what;
                EXPECT_EQ(texts,
                          resume ? std::vector<std::string>{"Deleting..."} : std::vector<std::string>{})
                    << what << ": no text until the end";
            }
            std::vector<Conversation> c = Received(Lpd(), resume ? 2 : 1);
            EXPECT_EQ(c[0].received, "") << what << ": the control file fails before the first byte is sent";
            EXPECT_TRUE(c[0].reset) << what;
            EXPECT_TRUE(!resume || c[1].dataFile == data) << what;
            // a start that fails leaves the deleted job to the spooler
            EXPECT_EQ(InQueue(job), !r.started) << what;
            ExpectNothingLeft();
        }
    }
}

// A printer that refuses the queue is tried again after the 3 and 6 s waits, one that never
// answers it after 120 polls at once, and the waits after such a time-out begin at 3 s again;
// no text but "Sending..."; each refused connection gets nothing past its receive-job line and
// is reset.
TEST_F(DeliveryTest, RefusedOrUnansweredQueueIsTriedAgainWithSendingAndResets) {
    const Misbehaviour refuse = Misbehaviour::AnswerQueueWith1, silent = Misbehaviour::NeverAnswerQueue;
    const struct {
        std::vector<Misbehaviour> printer;
        size_t waitSeconds;
    } cases[] = {{{refuse, refuse}, 3 + 6}, {{silent}, 0}, {{refuse, silent, refuse}, 3 + 3}};
    ASSERT_TRUE(StartWithPorts({{"lpt", 1, -1, "busy"}}));
    qvhost::SetRealSelectSliceMs(2);
    for (const auto &k : cases) {
        lpd_.reset();
        Lpd().SetClock([] { return qvhost::NowMs(); });
        Lpd().SetMisbehaviours(k.printer);
        qvhost::ClearSleeps();
        size_t textsBefore = Texts().size(), tries = k.printer.size() + 1;
        ASSERT_TRUE(Print("lpt", QueueJob("lpt"), "data").ended);
        EXPECT_EQ(Texts(textsBefore), (std::vector<std::string>{"Sending...", "Deleting..."}));
        EXPECT_EQ(qvhost::CountSleeps(1000), k.waitSeconds) << "the delivery waits";
        std::vector<Conversation> c = Received(Lpd(), tries);
        EXPECT_EQ(Lpd().Conversations().size(), tries);
        EXPECT_TRUE(c[0].reset);
        EXPECT_EQ(c[0].received, std::string("\x02") + "busy\n") << "nothing more after the refusal";
        EXPECT_TRUE(c[tries - 1].complete && !c[tries - 1].reset);
        for (size_t i = 0; i + 1 < tries; ++i)
            if (k.printer[i] == silent) {
                // 120 polls; the printer notes a connection's start when its thread gets to it,
                // which on a busy machine can be a poll or two after the connect
                uint64_t waited = c[i + 1].startedAt - c[i].startedAt;
                EXPECT_TRUE(waited >= 120000 && waited < 125000) << waited;
            }
    }
}

TEST_F(DeliveryTest, LevelTwoJobDeletedBeforeTheEndIsNotSent) {
    ASSERT_TRUE(StartWithLpdPort());
    DWORD job = QueueJob("lpt");
    HANDLE h = StartDocument("lpt", job);
    DWORD written;
    ASSERT_TRUE(monitor_.pfnWritePort(h, (LPBYTE) "abc", 3, &written));
    DOC_INFO_2A doc = {(LPSTR) "Report", nullptr, nullptr, 0, 0};
    EXPECT_FALSE(monitor_.pfnStartDocPort(h, (LPSTR) "P", job, 2, (LPBYTE)&doc)) << "one document at a time";
    EXPECT_FALSE(SpoolFiles().empty());
    qvhost::ControlJob(job, JOB_CONTROL_CANCEL);
    EXPECT_TRUE(monitor_.pfnEndDocPort(h));
    EXPECT_FALSE(monitor_.pfnEndDocPort(h)) << "no document is started any more";
    monitor_.pfnClosePort(h);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Deleting..."}));
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_FALSE(InQueue(job)) << "reported sent, so it left the queue";
    // Nor is a job that the spooler has put in error.
    job = QueueJob("lpt");
    h = StartDocument("lpt", job);
    ASSERT_TRUE(monitor_.pfnWritePort(h, (LPBYTE) "abc", 3, &written));
    qvhost::SetJobStatusBits(job, JOB_STATUS_ERROR, 0);
    EXPECT_TRUE(monitor_.pfnEndDocPort(h));
    monitor_.pfnClosePort(h);
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_FALSE(Lpd().WaitForConversations(1, 200));
}

TEST_F(DeliveryTest, UnreadableJobIsGivenUpAfterFiveTriesWithFourPauses) {
    ASSERT_TRUE(StartWithLpdPort());
    DWORD job = QueueJob("lpt");
    qvhost::SetJobStatusBits(job, 0, JOB_STATUS_PRINTING);  // no fallback job either
    HANDLE h = StartDocument("lpt", job);
    qvhost::MakeJobUnreadable(job, true);
    qvhost::ClearSleeps();
    EXPECT_TRUE(monitor_.pfnEndDocPort(h));
    // Status read: 5 tries, 4 pauses; "Deleting...": 5 tries, 4 pauses.
    EXPECT_EQ(qvhost::CountSleeps(200), 8u);
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_FALSE(Lpd().WaitForConversations(1, 200));
}

TEST_F(DeliveryTest, RenumberedJobIsFollowedThroughTheJobPrintingOnThePrinter) {
    ASSERT_TRUE(StartWithLpdPort());
    DWORD job = QueueJob("lpt");
    HANDLE h = StartDocument("lpt", job);
    DWORD fresh = qvhost::RenumberJob(job);
    ASSERT_NE(fresh, 0u);
    ASSERT_TRUE(monitor_.pfnEndDocPort(h));
    ASSERT_FALSE(Statuses().empty());
    for (const StatusEvent &e : Statuses()) EXPECT_EQ(e.job, fresh);
    EXPECT_TRUE(Lpd().WaitForConversations(1, 5000));
}

TEST_F(DeliveryTest, PortNumCountsDownAndWrapsAndSeqNumWraps) {
    SetCounter("PortNum", 601);
    SetCounter("SeqNum", 998);
    ASSERT_TRUE(StartWithPorts({{"lpt", 1}}));
    Lpd();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Print("lpt", QueueJob("lpt"), "x").ended);
    std::vector<Conversation> c = Received(Lpd(), 3);
    EXPECT_EQ(c[0].sourcePort, 601);
    EXPECT_EQ(c[1].sourcePort, 600);
    EXPECT_EQ(c[2].sourcePort, 1023) << "600 is followed by 1023";
    EXPECT_THAT(c[0].controlHeader, HasSubstr("cfA999PC1"));
    EXPECT_THAT(c[1].controlHeader, HasSubstr("cfA000PC1")) << "999 is followed by 000";
    EXPECT_THAT(c[2].controlHeader, HasSubstr("cfA001PC1"));
    SetCounter("SeqNum", 4321);  // a number past three digits starts again at 000
    ASSERT_TRUE(Print("lpt", QueueJob("lpt"), "x").ended);
    EXPECT_THAT(Received(Lpd(), 4)[3].controlHeader, HasSubstr("cfA000PC1"));
}

// PortNum and SeqNum kept in memory when the registry refuses them, in every mode: each
// connection still comes from the next local port down, each LPR job has the next number.
TEST_F(DeliveryTest, RegistryRefusingTheCountersKeepsThemInMemory) {
    ASSERT_TRUE(StartWithPorts({{"L", 1}, {"S", 2}, {"R", 3, 9108}}));
    Lpd();
    Raw(9108);
    qvhost::RefuseRegistryWrites(std::string(kMonitorKey) + "\\Config", true);
    for (int i = 0; i < 2; ++i)
        for (const char *port : {"L", "S", "R"}) ASSERT_TRUE(Print(port, QueueJob(port), "x").ended) << port;
    std::vector<Conversation> lpd = Received(Lpd(), 4), raw = Received(Raw(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(lpd[2 * i].sourcePort, 1023 - 3 * i);
        EXPECT_EQ(lpd[2 * i + 1].sourcePort, 1022 - 3 * i);
        EXPECT_EQ(raw[i].sourcePort, 1021 - 3 * i);
        EXPECT_THAT(lpd[2 * i].controlHeader, HasSubstr("cfA00" + std::to_string(2 * i)));
        EXPECT_THAT(lpd[2 * i + 1].dataHeader, HasSubstr("dfA00" + std::to_string(2 * i + 1)))
            << "a raw job takes no job number";
    }
    EXPECT_EQ(Counter("PortNum"), 0xFFFFFFFFu) << "nothing reached the registry";
}

TEST_F(DeliveryTest, DirectStartRetriesSilentlyAndFailsWithInvalidHandleWhenDeleted) {
    ASSERT_TRUE(StartWithPorts({{"m2", 2}, {"m3", 3}}));
    for (std::string port : {"m2", "m3"}) {
        DWORD job = QueueJob(port);
        qvhost::SetHostName(port == "m3" ? "unresolvable" : "pc1");  // m3: this machine's name fails
        qvhost::ClearSleeps();
        qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
            if (!s.select && s.ms == 1000 && qvhost::CountSleeps(1000) == 3 + 6 + 12)
                qvhost::ControlJob(job, JOB_CONTROL_CANCEL);
        });
        PrintResult r = Print(port, job, "data");
        EXPECT_EQ(r.Outcome(), "start failed: " + std::to_string(ERROR_INVALID_HANDLE)) << port;
        // One connect poll per attempt, none without this machine's name; the fourth attempt
        // finds the job deleted first.
        EXPECT_EQ(qvhost::CountSleeps(1000, true), port == "m2" ? 3u : 0u) << port;
        EXPECT_EQ(qvhost::CountSleeps(1000), 3u + 6 + 12) << port;
        qvhost::SetSleepHook(nullptr);
    }
    EXPECT_TRUE(Texts().empty()) << "the direct path sets no status texts while connecting";
    EXPECT_EQ(Counter("PortNum"), 1023u - 8) << "every failed attempt used a fresh local port";
    ExpectNothingLeft();
}

class PrinterOpenTest : public PrintTest {};

TEST_F(PrinterOpenTest, IsTriedEvery500msUpTo120Times) {
    ASSERT_TRUE(StartWithPorts({{"lpt", 1}}));
    DWORD job = QueueJob("lpt");
    qvhost::FailOpenPrinterTimes(118);  // 59 seconds of failures
    HANDLE h = StartDocument("lpt", job);
    EXPECT_EQ(qvhost::CountSleeps(500), 119u);
    qvhost::ControlJob(job, JOB_CONTROL_CANCEL);
    EXPECT_TRUE(monitor_.pfnEndDocPort(h));
    monitor_.pfnClosePort(h);
    qvhost::ClearSleeps();
    qvhost::FailOpenPrinterTimes(120);
    EXPECT_FALSE(Print("lpt", QueueJob("lpt"), "").started);
    EXPECT_EQ(qvhost::CountSleeps(500), 120u);
    ExpectNothingLeft();
}

TEST_F(DeliveryTest, JobsStartedTogetherOnTwoPortsGetDifferentNumbers) {
    ASSERT_TRUE(StartWithPorts({{"p1", 1}, {"p2", 1}}));
    Lpd();
    DWORD job1 = QueueJob("p1"), job2 = QueueJob("p2");
    std::atomic<int> reads{0};
    std::future<HANDLE> second;
    qvhost::SetRegistryReadHook([&](const std::string &name) {
        if (name != "SeqNum" || reads++ != 0) return;
        // The first job has read the last number; the second starts before it stores the next.
        second = std::async(std::launch::async, [&] { return StartDocument("p2", job2); });
        for (int i = 0; i < 30 && reads < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    HANDLE h1 = StartDocument("p1", job1);
    ASSERT_TRUE(second.valid()) << "the job number is read from SeqNum";
    HANDLE h2 = second.get();
    qvhost::SetRegistryReadHook(nullptr);
    for (HANDLE h : {h1, h2}) {
        EXPECT_TRUE(monitor_.pfnEndDocPort(h));
        monitor_.pfnClosePort(h);
    }
    std::vector<Conversation> c = Received(Lpd(), 2);
    EXPECT_NE(c[0].controlHeader, c[1].controlHeader) << c[0].controlHeader;
}

TEST_F(DeliveryTest, NoLockIsHeldWhileWaitingOnThePrinter) {
    ASSERT_TRUE(StartWithPorts({{"lpt", 1}, {"other", 1}}));
    qvhost::SetRealSelectSliceMs(2);
    Lpd().SetMisbehaviour(Misbehaviour::NeverAnswerQueue);
    DWORD job = QueueJob("lpt");
    int checked = 0;
    bool allFree = true;
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        // From inside a socket wait and a delivery wait, another thread must get the lock.
        if (checked >= 6) return;
        ++checked;
        auto other = std::async(std::launch::async, [&] {
            DWORD needed = 0, count = 0;
            BYTE buf[512];
            return monitor_.pfnEnumPorts(nullptr, 1, buf, sizeof buf, &needed, &count) && count == 2;
        });
        allFree =
            allFree && other.wait_for(std::chrono::seconds(10)) == std::future_status::ready && other.get();
        if (s.select && checked == 6) qvhost::ControlJob(job, JOB_CONTROL_CANCEL);
    });
    EXPECT_TRUE(Print("lpt", job, "data").ended);
    EXPECT_EQ(checked, 6);
    EXPECT_TRUE(allFree);
}

}  // namespace
