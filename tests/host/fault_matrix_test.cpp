// Printer faults against each delivery mode, through the MONITOR table on the virtual clock:
// the calls' results, the waits, the status texts, what the printer ends up with (whole
// exactly once, or never reported as delivered), and nothing left open.

#include "print_fixture.h"

namespace {

enum class Fix { Never, FirstWait, AfterPolls };  // when the printer behaves again

struct FaultCase {
    const char *name;
    int mode;
    Misbehaviour misbehaviour;
    size_t after;
    bool reset;   // the printer ends its connections with a reset
    bool absent;  // the printer listens only from the first wait on
    Fix fix;
    // expected
    bool writeFails;  // WritePort: FALSE with ERROR_NET_WRITE_FAULT
    int waits;        // delivery waits (of 3 s: the printer is back by the next try)
};

using M = Misbehaviour;

// clang-format off
const FaultCase kCases[] = {
    {"SpooledResetInDataThenBack", 1, M::CloseInDataFile, 5000, true, false, Fix::FirstWait, false, 1},
    {"SpooledClosesInControlThenBack", 1, M::CloseInControlFile, 10, false, false, Fix::FirstWait, false, 1},
    {"SpooledPrinterStartsLate", 1, M::None, 0, false, true, Fix::Never, false, 1},
    {"StreamedQueueRefusedOnce", 2, M::AnswerQueueWith1, 0, false, false, Fix::FirstWait, false, 1},
    {"StreamedQueueNeverAnswered", 2, M::NeverAnswerQueue, 0, false, false, Fix::AfterPolls, false, 0},
    {"StreamedClosesInControlThenBack", 2, M::CloseInControlFile, 10, false, false, Fix::FirstWait, false, 1},
    {"StreamedClosesInData", 2, M::CloseInDataFile, 5000, false, false, Fix::Never, true, 0},
    {"StreamedResetInData", 2, M::CloseInDataFile, 5000, true, false, Fix::Never, true, 0},
    {"RawClosesMidStream", 3, M::CloseInRaw, 5000, false, false, Fix::Never, true, 0},
    {"RawResetMidStream", 3, M::CloseInRaw, 5000, true, false, Fix::Never, true, 0},
    {"RawPrinterStartsLate", 3, M::None, 0, false, true, Fix::Never, false, 1},
    // a non-zero answer to a file's header does not stop the transfer
    {"SpooledDataHeaderAnswered2", 1, M::AnswerSubcommandWith2, 3, false, false, Fix::Never, false, 0},
    {"StreamedCountAnswered2", 2, M::AnswerSubcommandWith2, 3, false, false, Fix::Never, false, 0},
    {"SpooledClosesAtOnceThenBack", 1, M::CloseAtOnce, 0, false, false, Fix::FirstWait, false, 1},
    {"StreamedClosesAtOnceThenBack", 2, M::CloseAtOnce, 0, false, false, Fix::FirstWait, false, 1},
    {"RawClosesAtOnce", 3, M::CloseAtOnce, 0, false, false, Fix::Never, true, 0},
};
// clang-format on

class FaultMatrixTest : public NetworkTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultMatrixTest, OutcomeIsWholeOnceOrNeverReportedDelivered) {
    const FaultCase &f = GetParam();
    const int rawPort = 9107;
    ASSERT_TRUE(StartWithPorts({{"F", f.mode, f.mode == 3 ? rawPort : -1}}));
    auto printer = [&]() -> TestPrinter & { return f.mode == 3 ? Raw(rawPort) : Lpd(); };
    if (!f.absent) {
        printer().SetMisbehaviour(f.misbehaviour, f.after);
        printer().SetResetOnClose(f.reset);
    }
    qvhost::SetSleepHook([&](const qvhost::SleepRecord &s) {
        // a delivery wait is a series of one-second sleeps, each after a look at the job
        bool firstWait = !s.select && s.ms == 1000 && qvhost::CountSleeps(1000) == 1;
        if (firstWait && f.absent) printer();  // starts listening now
        if ((firstWait && f.fix == Fix::FirstWait) ||
            (f.fix == Fix::AfterPolls && s.select && qvhost::CountSleeps(1000, true) == 120)) {
            printer().SetMisbehaviour(Misbehaviour::None);
            printer().SetResetOnClose(false);
        }
    });
    DWORD job = QueueJob("F");
    // a failure must outgrow the socket buffers to be seen while writing
    std::string data = Bytes(f.writeFails ? (16u << 20) : 200000u, 11);
    PrintResult r = Print("F", job, data);
    qvhost::SetSleepHook(nullptr);

    // EndDocPort always releases the job
    EXPECT_EQ(r.Outcome(), f.writeFails ? "write failed: " + std::to_string(ERROR_NET_WRITE_FAULT) + ", ended"
                                        : "written, ended");
    EXPECT_EQ(qvhost::CountSleeps(1000), 3u * f.waits) << "each wait is the first one: 3 s";
    qvhost::JobView v;
    EXPECT_FALSE(qvhost::GetJob(job, &v)) << "reported sent: the job left the queue";
    std::vector<std::string> texts = Texts();
    if (f.mode != 1) {
        EXPECT_EQ(texts, std::vector<std::string>{"Deleting..."})
            << "the direct path shows no text until the end";
    } else {
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back(), "Deleting...");
    }

    size_t conversations = 1 + (size_t)f.waits + (f.fix == Fix::AfterPolls ? 1 : 0);
    if (f.absent) conversations = 1;
    int whole = 0;
    for (const Conversation &c : Received(printer(), conversations, 20000))
        if (c.dataFile == data && (f.mode == 3 || c.complete)) ++whole;
    EXPECT_EQ(whole, f.writeFails ? 0 : 1)
        << "delivered whole exactly once, or not at all when WritePort failed";
    ExpectNothingLeft();
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
