// The outcome pairs of the connection layer, called directly on a port record.
#include "monitor_fixture.h"
#include "tcp_layer_shim.h"
#include "test_printer.h"

namespace {

class TcpLayerTest : public MonitorTest {
  protected:
    void SetUp() override {
        MonitorTest::SetUp();
        std::string error;
        ASSERT_TRUE(qvhost::AddPrinter("P", "x", &error));
        job_ = qvhost::AddJob("P", "doc", "alice");
    }
    ShimRecord *Record(const char *host, unsigned port, int localPort = 1023, int protocol = 1) {
        record_ = ShimNew("P", job_, host, port, localPort, protocol);
        return record_;
    }
    void TearDown() override {
        if (record_) ShimFree(record_);
        MonitorTest::TearDown();
    }
    DWORD job_ = 0;
    ShimRecord *record_ = nullptr;
};

TEST_F(TcpLayerTest, RefusedConnectionIsOneFiveAfterOnePollWithTheSocketLeftOpen) {
    REQUIRE_RESERVED_PORTS();
    ShimRecord *r = Record("127.0.0.1", 9200);
    EXPECT_EQ(ShimConnect(r), -1);
    EXPECT_EQ(ShimClass(r), 1u);
    EXPECT_EQ(ShimCode(r), 5);
    EXPECT_TRUE(ShimHasSocket(r)) << "left for the caller to close";
    EXPECT_EQ(qvhost::CountSleeps(1000, true), 1u);
    EXPECT_EQ(ShimLocalPort(r), 1023) << "no other local port was tried";
    ShimClose(r);
    EXPECT_FALSE(ShimHasSocket(r));
    EXPECT_EQ(qvhost::OpenSockets(), 0);
}

TEST_F(TcpLayerTest, UnknownNameIsOneSixWithNoSocket) {
    ShimRecord *r = Record("no.such.printer", 515);
    EXPECT_EQ(ShimConnect(r), -1);
    EXPECT_EQ(ShimClass(r), 1u);
    EXPECT_EQ(ShimCode(r), 6);
    EXPECT_FALSE(ShimHasSocket(r));
    EXPECT_EQ(qvhost::OpenSockets(), 0);
}

TEST_F(TcpLayerTest, ShortAnswerThenCloseIsZeroAndOneEleven) {
    REQUIRE_RESERVED_PORTS();
    TestPrinter printer;
    printer.SetRawOutput("abcd");
    printer.SetMisbehaviour(Misbehaviour::CloseInRaw, 0);
    ASSERT_TRUE(printer.Start(9201, false));
    ShimRecord *r = Record("127.0.0.1", 9201);
    ASSERT_NE(ShimConnect(r), -1);
    EXPECT_EQ(ShimClass(r), 0u);
    char buf[10];
    EXPECT_EQ(ShimReceive(r, buf, 10, 0), 0);
    EXPECT_EQ(ShimClass(r), 1u);
    EXPECT_EQ(ShimCode(r), 11);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    printer.Stop();
}

TEST_F(TcpLayerTest, SilentPrinterTimesOutAfter120PollsAsFiveOneForty) {
    REQUIRE_RESERVED_PORTS();
    qvhost::SetRealSelectSliceMs(2);
    TestPrinter printer;
    ASSERT_TRUE(printer.Start(9202, false));
    ShimRecord *r = Record("127.0.0.1", 9202);
    ASSERT_NE(ShimConnect(r), -1);
    qvhost::ClearSleeps();
    char b;
    EXPECT_EQ(ShimReceive(r, &b, 1, 120), -1);
    EXPECT_EQ(ShimClass(r), 5u);
    EXPECT_EQ(ShimCode(r), 140);
    EXPECT_EQ(qvhost::CountSleeps(1000, true), 120u);
    ShimClose(r);
    printer.Stop();
}

TEST_F(TcpLayerTest, PausedDeletedOrVanishedJobEndsAWaitWithinOnePoll) {
    REQUIRE_RESERVED_PORTS();
    TestPrinter printer;
    ASSERT_TRUE(printer.Start(9203, false));
    struct Case {
        std::function<void()> act;
        unsigned cls;
        int code;
    } cases[] = {
        {[&] { qvhost::ControlJob(job_, JOB_CONTROL_PAUSE); }, 6, 130},
        {[&] { qvhost::ControlJob(job_, JOB_CONTROL_CANCEL); }, 3, 120},
        {[&] { qvhost::MakeJobUnreadable(job_, true); }, 1, 250},
    };
    int localPort = 1000;
    for (Case &c : cases) {
        job_ = qvhost::AddJob("P", "doc", "alice");
        ShimRecord *r = ShimNew("P", job_, "127.0.0.1", 9203, localPort--, 1);
        ASSERT_NE(ShimConnect(r), -1);
        qvhost::ClearSleeps();
        qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
            if (s.select && qvhost::CountSleeps(1000, true) == 3) c.act();
        });
        char b;
        EXPECT_EQ(ShimReceive(r, &b, 1, 0), -1);
        EXPECT_EQ(ShimClass(r), c.cls);
        EXPECT_EQ(ShimCode(r), c.code);
        EXPECT_EQ(qvhost::CountSleeps(1000, true), 3u) << "noticed before the next poll";
        qvhost::SetSleepHook(nullptr);
        ShimFree(r);
    }
    printer.Stop();
}

TEST_F(TcpLayerTest, EveryBindRefusedCyclesThroughTheRangeOncePerSecond) {
    qvhost::RefuseAllBinds(true);
    ShimRecord *r = Record("127.0.0.1", 9204, 602);
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        if (!s.select && qvhost::CountSleeps(1000) == 5) qvhost::ControlJob(job_, JOB_CONTROL_CANCEL);
    });
    EXPECT_EQ(ShimConnect(r), -1);
    EXPECT_EQ(ShimClass(r), 3u);
    EXPECT_EQ(ShimCode(r), 120);
    // 602, 601, 600, 1023, 1022 and 1021, whose pause found the job deleted.
    EXPECT_EQ(ShimLocalPort(r), 1021);
    EXPECT_EQ(qvhost::CountSleeps(1000), 5u);
    EXPECT_EQ(qvhost::OpenSockets(), 0);
}

TEST_F(TcpLayerTest, SendingNothingFailsWithoutTouchingTheOutcome) {
    ShimRecord *r = Record("127.0.0.1", 9205);
    ShimSetOutcome(r, 7, 77);
    EXPECT_EQ(ShimSendAll(r, "", 0), -1);
    EXPECT_EQ(ShimClass(r), 7u);
    EXPECT_EQ(ShimCode(r), 77);
    EXPECT_EQ(ShimPause(r, 0, 5), 0);
    EXPECT_TRUE(qvhost::Sleeps().empty()) << "a pause of 0 seconds checks nothing";
    EXPECT_EQ(ShimPause(r, 2, 5), 0);
    EXPECT_EQ(qvhost::CountSleeps(1000), 2u);
}

}  // namespace
