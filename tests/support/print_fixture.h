// Printing through the MONITOR table to an in-test printer, with the job's status texts
// recorded on the virtual clock.
#ifndef QVLMR_TEST_PRINT_FIXTURE_H
#define QVLMR_TEST_PRINT_FIXTURE_H

#include <gmock/gmock.h>

#include <memory>
#include <mutex>

#include "monitor_fixture.h"
#include "file_bytes.h"
#include "table_print.h"
#include "test_printer.h"

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

struct StatusEvent {
    uint64_t at;
    DWORD job;
    std::string text;
};

class PrintTest : public MonitorTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A printer of the host spooler named P on the port, and a queued, printing job.
    DWORD QueueJob(const std::string &port, const std::string &document = "Report");
    PrintResult Print(const std::string &port, DWORD job, const std::string &data, DWORD level = 2,
                      const std::string &document = "Report", size_t chunk = 65536,
                      const std::string &printer = "P");
    // OpenPort and a successful StartDocPort of printer P; the port stays started.
    HANDLE StartDocument(const std::string &port, DWORD job, DWORD level = 2);
    // Port "lpt" (mode 1 to 127.0.0.1), the monitor started and the LPD printer listening.
    bool StartWithLpdPort();
    struct PortSpec {
        std::string name;
        int protocol, rawPort = -1;
        std::string queue = "\x01";
    };
    // Ports to 127.0.0.1 and the monitor started.
    bool StartWithPorts(const std::vector<PortSpec> &ports);
    // The printer's conversations once `count` of them ended; a failure, and empty ones
    // in place of those missing, when they do not within ms.
    std::vector<Conversation> Received(TestPrinter &printer, size_t count, int ms = 5000);
    bool InQueue(DWORD job);
    // No job file, socket, file handle or printer handle is left.
    void ExpectNothingLeft();
    TestPrinter &Lpd();  // started on 515
    TestPrinter &Raw(int port = 9100);
    std::vector<StatusEvent> Statuses();
    std::vector<std::string> Texts(size_t from = 0);  // from the from-th on
    void SetStatusAction(std::function<void(const StatusEvent &)> f);
    // Milliseconds between each event with text `from` and the next event with text `to`.
    std::vector<uint64_t> Gaps(const std::string &from, const std::string &to);

    std::unique_ptr<TestPrinter> lpd_, raw_;
    std::mutex statusLock_;
    std::vector<StatusEvent> statuses_;
    std::function<void(const StatusEvent &)> onStatus_;
};

// Tests that bind port 515 and the reserved local ports: skipped unless allowed to.
class NetworkTest : public PrintTest {
  protected:
    void SetUp() override;
};

#endif
