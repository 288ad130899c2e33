// The connection layer seen from the wire: reserved local ports, name lookup, polls that
// watch the job, graceful and reset closes, and the queue window refresh.
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>

#include "print_fixture.h"

namespace {

bool Listed(int port) {
    return getservbyport(htons((uint16_t)port), "tcp") != nullptr;
}

class ConnectionTest : public NetworkTest {};

TEST_F(ConnectionTest, BusyLocalPortCostsOnePauseAndTheNextPortBelowIsUsed) {
    ASSERT_TRUE(StartWithLpdPort());
    TestPrinter busy;  // holds local port 1023
    ASSERT_TRUE(busy.Start(1023, false));
    ASSERT_TRUE(Print("lpt", QueueJob("lpt"), "x").ended);
    EXPECT_EQ(Received(Lpd(), 1)[0].sourcePort, 1022);
    EXPECT_EQ(qvhost::CountSleeps(1000), 1u);
    EXPECT_EQ(Counter("PortNum"), 1021u);
}

class ConnectionBindTest : public ConnectionTest {
  protected:
    void SetUp() override { PrintTest::SetUp(); }  // every bind is refused: no port is used
};

TEST_F(ConnectionBindTest, EveryRefusalCyclesThroughTheRangeOncePerSecond) {
    ASSERT_TRUE(StartWithPorts({{"raw", 3, 9106}}));
    SetCounter("PortNum", 602);
    qvhost::RefuseAllBinds(true);
    DWORD job = QueueJob("raw");
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        if (!s.select && qvhost::CountSleeps(1000) == 5) qvhost::ControlJob(job, JOB_CONTROL_CANCEL);
    });
    PrintResult r = Print("raw", job, "x");
    EXPECT_EQ(r.Outcome(), "start failed: " + std::to_string(ERROR_INVALID_HANDLE));
    EXPECT_EQ(qvhost::CountSleeps(1000), 5u);
    // 602, 601, 600, 1023, 1022 and 1021, whose pause found the job deleted; the port below
    // it is the next to try.
    EXPECT_EQ(Counter("PortNum"), 1020u);
    ExpectNothingLeft();
}

TEST_F(ConnectionTest, PortsOfTheServicesDatabaseAreSkipped) {
    int start = 0;
    for (int p = 1023; p >= 601 && !start; --p)
        if (Listed(p) && !Listed(p - 1)) start = p;
    if (!start) GTEST_SKIP() << "the services database lists no reserved tcp port";
    SetCounter("PortNum", (DWORD)start);
    ASSERT_TRUE(StartWithLpdPort());
    ASSERT_TRUE(Print("lpt", QueueJob("lpt"), "x").ended);
    EXPECT_EQ(Received(Lpd(), 1)[0].sourcePort, start - 1);
    EXPECT_EQ(qvhost::CountSleeps(1000), 1u) << "passing over a listed port costs one second";
}

// Each cause of a network error waits 3 s under its text, and the next try reads the port's
// address and queue anew: a printer name that does not resolve (no socket is made for it), no
// socket to be had, this machine's own name not resolving.
TEST_F(ConnectionTest, NetworkErrorsWaitThreeSecondsAndTheNextTryReadsThePortAgain) {
    ASSERT_TRUE(StartWithLpdPort());
    const char *const causes[] = {"unknown printer", "no socket", "own name unknown"};
    for (int i = 0; i < 3; ++i) {
        AddPortValue("lpt", i == 0 ? "nosuchprinter" : "127.0.0.1", 1, -1, "old");
        qvhost::FailSocketCreate(i == 1);
        qvhost::SetHostName(i == 2 ? "unresolvable" : "pc1");
        int socketsDuringWait = -1;
        SetStatusAction([&](const StatusEvent &e) {
            if (e.text != "Cannot print(Network Error)") return;
            socketsDuringWait = SocketsOpened();
            qvhost::FailSocketCreate(false);
            qvhost::SetHostName("pc1");
            AddPortValue("lpt", "127.0.0.1", 1, -1, "new");  // the user mends the port meanwhile
        });
        size_t before = Texts().size();
        qvhost::ClearSleeps();
        ASSERT_TRUE(Print("lpt", QueueJob("lpt"), "x").ended) << causes[i];
        EXPECT_EQ(Texts(before), (std::vector<std::string>{"Sending...", "Cannot print(Network Error)",
                                                           "Sending...", "Deleting..."}))
            << causes[i];
        EXPECT_EQ(qvhost::CountSleeps(1000), 3u) << causes[i];
        EXPECT_EQ(socketsDuringWait, 0) << causes[i];
        EXPECT_EQ(Received(Lpd(), (size_t)i + 1)[(size_t)i].queue, "new") << causes[i];
    }
}

// Winsock takes an empty address for 0.0.0.0, and refuses to connect there at once: the job
// walks the local ports, a second each, under "Sending..." until the user stops it.
TEST_F(ConnectionTest, EmptyAddressWalksTheLocalPortsUntilTheJobIsDeleted) {
    AddPortValue("lpt", "", 1);
    ASSERT_TRUE(StartMonitor());
    DWORD job = QueueJob("lpt");
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        if (!s.select && qvhost::CountSleeps(1000) == 4) qvhost::ControlJob(job, JOB_CONTROL_CANCEL);
    });
    ASSERT_TRUE(Print("lpt", job, "x").ended);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Sending...", "Deleting..."}));
    EXPECT_EQ(qvhost::CountSleeps(1000, true), 0u) << "no connection was waited on";
    EXPECT_EQ(Counter("PortNum"), 1023u - 5) << "1023 to 1019 tried, the last pause found the job deleted";
}

TEST_F(ConnectionTest, APrinterThatStopsReadingIsWaitedOnNotPolledInALoop) {
    ASSERT_TRUE(StartWithPorts({{"raw", 3, 9105}}));
    Raw(9105).SetReading(false);
    DWORD job = QueueJob("raw");
    size_t sendsAtStart = qvhost::SendCalls(), sendsInStall = 0;
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        if (s.select && qvhost::CountSleeps(1000, true) == 4 && !sendsInStall) {
            sendsInStall = qvhost::SendCalls() - sendsAtStart;
            Raw().SetReading(true);
        }
    });
    std::string data = Bytes(16 << 20, 7);
    PrintResult r = Print("raw", job, data, 2, "Report", data.size());
    EXPECT_EQ(r.Outcome(), "written, ended");
    // Four seconds without the printer reading: a few calls fill the socket's 8 KiB send
    // buffer and the printer's receive buffer, then each second brings at most one more.
    EXPECT_GT(sendsInStall, 0u);
    EXPECT_LE(sendsInStall, 20u);
    // The first wait on the blocked socket lasts until a second after the job's start (the
    // printer-open try's 500 ms before it), when the job is looked at.
    std::vector<qvhost::SleepRecord> sleeps = qvhost::Sleeps();
    auto open = std::find_if(sleeps.begin(), sleeps.end(), [](auto &r) { return !r.select && r.ms == 500; });
    auto wait = std::find_if(sleeps.begin(), sleeps.end(), [](auto &r) { return r.select && r.ms != 1000; });
    ASSERT_TRUE(open != sleeps.end() && wait != sleeps.end());
    EXPECT_EQ(wait->at + wait->ms, open->at + 500 + 1000);
    EXPECT_TRUE(Received(Raw(), 1, 10000)[0].received == data);
}

TEST_F(ConnectionTest, JobVanishingDuringAWaitIsGivenUp) {
    ASSERT_TRUE(StartWithPorts({{"lpt", 1}}));
    Lpd().SetMisbehaviour(Misbehaviour::StallInDataFile, 1000);
    DWORD job = QueueJob("lpt");
    qvhost::SetJobStatusBits(job, 0, JOB_STATUS_PRINTING);
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        if (s.select && qvhost::CountSleeps(1000, true) == 2) qvhost::MakeJobUnreadable(job, true);
    });
    ASSERT_TRUE(Print("lpt", job, Bytes(16 << 20, 6)).ended);
    Lpd().SetReading(true);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Sending..."}));
    ExpectNothingLeft();
}

TEST_F(ConnectionTest, StatusTextsRefreshTheQueueWindow) {
    ASSERT_TRUE(StartWithLpdPort());
    HWND window = qvhost::CreateTopWindow("P");
    // The messages of one job: each an F5 key-down, as "key,repeat".
    auto refreshes = [&] {
        ASSERT_TRUE(Print("lpt", QueueJob("lpt"), "x").ended);
        std::vector<std::string> seen;
        UINT msg;
        WPARAM w;
        LPARAM l;
        while (qvhost::TakeMessage(window, &msg, &w, &l))
            seen.push_back(msg == WM_KEYDOWN ? std::to_string(w) + "," + std::to_string(l) : "other");
        EXPECT_EQ(seen, std::vector<std::string>(3, std::to_string(VK_F5) + ",1"))
            << "Sending... twice and Deleting... once";
    };
    refreshes();
    qvhost::SetWindowTitle(window, "P - Paused");
    refreshes();  // the paused printer's window is found too
    qvhost::DestroyTopWindow(window);
}

}  // namespace
