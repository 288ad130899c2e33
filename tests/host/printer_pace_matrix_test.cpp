// Printers that read and answer as real ones do (slowly, in bursts, late, or not at all)
// against each delivery mode, with the user pausing (then resuming) or deleting the job while
// the monitor waits on the printer. Every row runs through the MONITOR table on the virtual
// clock, the printer keeping its pace on the same clock, and asserts: the pause or delete
// seen at the first job check due after it, the call results, the status texts, a document
// whole at the printer exactly once or never reported delivered, nothing left open.

#include "print_fixture.h"

namespace {

enum class Reader { FullSpeed, Steady256K, Steady64K, StopAndGo, LateAnswers, Stalled };
enum class Action { None, PauseThenResume, Delete };

const char *const kReaderNames[] = {"FullSpeed", "Steady256K",  "Steady64K",
                                    "StopAndGo", "LateAnswers", "Stalled"};
const char *const kActionNames[] = {"", "Paused", "Deleted"};

struct PaceCase {
    int mode;
    Reader reader;
    Action action;
};

// Each reader's pace, in the order of Reader: bytes a second, or bursts with rests, or late
// answers; a stalled printer reads at full speed until it stops.
const Pace kPaces[] = {{}, {256 << 10}, {64 << 10}, {0, 128 << 10, 2500}, {0, 0, 0, 1500}, {}};

// A printer at full speed is never waited on, so nothing can fall inside a wait: its rows
// have no action. Raw printers answer nothing, so none answers late.
std::vector<PaceCase> AllCases() {
    std::vector<PaceCase> all;
    for (int mode = 1; mode <= 3; ++mode)
        for (int r = 0; r <= (int)Reader::Stalled; ++r)
            for (int a = 0; a <= (int)Action::Delete; ++a) {
                if ((Reader)r == Reader::FullSpeed && a != 0) continue;
                if ((Reader)r == Reader::LateAnswers && mode == 3) continue;
                all.push_back({mode, (Reader)r, (Action)a});
            }
    return all;
}

class PaceMatrixTest : public NetworkTest, public ::testing::WithParamInterface<PaceCase> {};

TEST_P(PaceMatrixTest, StopIsSeenAtTheNextCheckAndTheDocumentIsWholeOnceOrNotDelivered) {
    const PaceCase &k = GetParam();
    const int rawPort = 9110;
    ASSERT_TRUE(StartWithPorts({{"M", k.mode, k.mode == 3 ? rawPort : -1}}));
    TestPrinter &printer = k.mode == 3 ? Raw(rawPort) : Lpd();
    printer.SetClock([] { return qvhost::NowMs(); });
    printer.SetPace(kPaces[(int)k.reader]);
    if (k.reader == Reader::Stalled) printer.SetMisbehaviour(Misbehaviour::StallInDataFile, 64 << 10);
    qvhost::SetRealSelectSliceMs(5);
    DWORD job = QueueJob("M");
    const DWORD watched = k.action == Action::Delete ? JOB_STATUS_DELETING : JOB_STATUS_PAUSED;
    uint64_t actedAt = 0, firstLookAt = 0, seenAt = 0, resumedAt = 0;
    size_t stalledAt = 0;  // polls before the printer stopped reading
    qvhost::SetJobQueryHook([&](DWORD, DWORD status) {
        if (actedAt && !firstLookAt) firstLookAt = qvhost::NowMs();
        if (actedAt && !seenAt && (status & watched)) seenAt = qvhost::NowMs();
    });
    auto readAgain = [&] {
        printer.SetMisbehaviour(Misbehaviour::None);
        printer.SetReading(true);
    };
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        printer.Settle();
        // The user acts at the first time-out of a wait on the printer once the data began.
        // A printer that stalls for more than the 120 polls of the queue's answer (out of paper
        // for two minutes) is still waited on, without a limit.
        if (k.action == Action::None && k.reader == Reader::Stalled && s.select && !printer.Reading()) {
            if (!stalledAt) stalledAt = qvhost::CountSleeps(1000, true);
            if (qvhost::CountSleeps(1000, true) - stalledAt == 130) readAgain();
        }
        if (!actedAt && s.select && printer.DataStarted()) {
            actedAt = qvhost::NowMs();
            if (k.action == Action::PauseThenResume) qvhost::ControlJob(job, JOB_CONTROL_PAUSE);
            if (k.action == Action::Delete) qvhost::ControlJob(job, JOB_CONTROL_CANCEL);
        }
        qvhost::JobView v;
        if (k.action == Action::PauseThenResume && !resumedAt && !s.select && s.ms == 1000 &&
            qvhost::GetJob(job, &v) && (v.status & JOB_STATUS_PAUSED)) {
            resumedAt = qvhost::NowMs();  // the first second of the hold
            readAgain();
            qvhost::ControlJob(job, JOB_CONTROL_RESUME);
        }
    });
    const std::string data = Bytes(1 << 20, 21);
    PrintResult r = Print("M", job, data);
    qvhost::SetSleepHook(nullptr);
    qvhost::SetJobQueryHook(nullptr);
    printer.SetPace(Pace());  // the clock stands still now: what is left is read at once
    readAgain();

    if (k.action != Action::None) {
        ASSERT_NE(actedAt, 0u) << "the monitor never waited on the printer in the data";
        EXPECT_EQ(seenAt, firstLookAt) << "the first look at the job after it sees it";
        EXPECT_LE(seenAt - actedAt, 1000u) << "and comes within the check interval";
    }
    // Mode 1 holds a paused job and sends it again once resumed; a direct job stopped in its
    // data fails the write; one stopped while the printer's answers are awaited, in its
    // start, holds (paused) or fails the start (deleted).
    const bool inStart = k.mode == 2 && k.reader == Reader::LateAnswers;
    const bool held = k.action == Action::PauseThenResume && (k.mode == 1 || inStart);
    std::string outcome = "written, ended";
    if (k.mode != 1 && !inStart && k.action != Action::None)
        outcome = "write failed: " + std::to_string(ERROR_NET_WRITE_FAULT) + ", ended";
    if (inStart && k.action == Action::Delete)
        outcome = "start failed: " + std::to_string(ERROR_INVALID_HANDLE);
    EXPECT_EQ(r.Outcome(), outcome);
    std::vector<std::string> texts = {"Deleting..."};
    if (k.mode == 1 && held)
        texts = {"Sending...", "Paused", "Sending...", "Deleting..."};
    else if (k.mode == 1)
        texts = {"Sending...", "Deleting..."};
    else if (!r.started)
        texts = {};
    EXPECT_EQ(Texts(), texts);
    if (k.mode == 1 && held) {
        ASSERT_EQ(Statuses().size(), 4u);
        EXPECT_EQ(Statuses()[2].at, resumedAt) << "sent again at once after the resume";
    }
    int whole = 0;
    EXPECT_EQ(printer.Conversations().size(), held ? 2u : 1u);
    for (const Conversation &c : Received(printer, held ? 2 : 1, 20000))
        if (c.dataFile == data && !c.reset && (k.mode == 3 || c.complete)) ++whole;
    EXPECT_EQ(whole, k.action == Action::Delete || (k.action == Action::PauseThenResume && !held) ? 0 : 1)
        << "whole exactly once, or never reported delivered";
    ExpectNothingLeft();
}

INSTANTIATE_TEST_SUITE_P(Paces, PaceMatrixTest, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<PaceCase> &info) {
                             const PaceCase &k = info.param;
                             return "Mode" + std::to_string(k.mode) + kReaderNames[(int)k.reader] +
                                    kActionNames[(int)k.action];
                         });

}  // namespace
