// Several ports printing at once on their own threads while other threads list and delete
// ports: every job arrives whole, job numbers never repeat, nothing is left behind.
#include <atomic>
#include <set>
#include <thread>

#include "print_fixture.h"

namespace {

class ConcurrencyTest : public PrintTest {};

TEST_F(ConcurrencyTest, PortsPrintInParallelBesideEnumPortsAndDeletePort) {
    REQUIRE_RESERVED_PORTS();
    const char *ports[] = {"lprA", "lprB", "stream", "raw"};
    AddPortValue("lprA", "127.0.0.1", 1);
    AddPortValue("lprB", "127.0.0.1", 1);
    AddPortValue("stream", "127.0.0.1", 2);
    AddPortValue("raw", "127.0.0.1", 3, 9105);
    for (int i = 0; i < 12; ++i) AddPortValue("spare" + std::to_string(i), "10.9.9." + std::to_string(i));
    ASSERT_TRUE(StartMonitor());
    Lpd();
    Raw(9105);
    std::string error;
    for (int p = 0; p < 4; ++p) ASSERT_TRUE(qvhost::AddPrinter("P" + std::to_string(p), ports[p], &error));
    const int kJobs = 6;
    std::atomic<int> failures{0};
    std::atomic<bool> printing{true};
    std::vector<std::thread> threads;
    for (int p = 0; p < 4; ++p) {
        threads.emplace_back([&, p] {
            std::string printer = "P" + std::to_string(p);
            for (int j = 0; j < kJobs; ++j) {
                DWORD job = qvhost::AddJob(printer, "doc", "alice");
                qvhost::SetJobStatusBits(job, JOB_STATUS_PRINTING, 0);
                std::string data = std::to_string(p) + ":" + std::to_string(j) + ":" +
                                   Bytes(30000 + p * 1000 + j, p * 100 + j);
                HANDLE h = nullptr;
                DOC_INFO_1A doc = {(LPSTR) "doc", nullptr, nullptr};
                DWORD written = 0;
                bool ok = monitor_.pfnOpenPort((LPSTR)ports[p], &h) &&
                          monitor_.pfnStartDocPort(h, (LPSTR)printer.c_str(), job, 2, (LPBYTE)&doc) &&
                          monitor_.pfnWritePort(h, (LPBYTE)data.data(), (DWORD)data.size(), &written) &&
                          written == data.size() && monitor_.pfnEndDocPort(h);
                if (h) monitor_.pfnClosePort(h);
                if (!ok) ++failures;
            }
        });
    }
    std::atomic<int> listed{0}, deleted{0}, refused{0};
    std::thread lister([&] {
        while (printing) {
            for (DWORD level : {1u, 2u}) {
                DWORD needed = 0, count = 0;
                monitor_.pfnEnumPorts(nullptr, level, nullptr, 0, &needed, &count);
                std::vector<BYTE> buf(needed + 64);
                // The list may shrink between the calls, never grow past what was measured.
                if (monitor_.pfnEnumPorts(nullptr, level, buf.data(), (DWORD)buf.size(), &needed, &count) &&
                    count >= 4)
                    ++listed;
            }
        }
    });
    std::thread deleter([&] {
        for (int i = 0; i < 12; ++i) {
            std::string name = "SPARE" + std::to_string(i);
            bool gone = false;
            while (printing && !(gone = monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR)name.c_str()))) {
                EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
                ++refused;
                std::this_thread::yield();
            }
            if (!gone) break;
            ++deleted;
        }
    });
    for (std::thread &t : threads) t.join();
    printing = false;
    lister.join();
    deleter.join();
    EXPECT_EQ(failures, 0);
    EXPECT_GT(listed, 0);
    for (int i = deleted; i < 12; ++i)
        EXPECT_TRUE(monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR)("spare" + std::to_string(i)).c_str()));
    DWORD needed = 0, count = 0;
    BYTE buf[1024];
    ASSERT_TRUE(monitor_.pfnEnumPorts(nullptr, 1, buf, sizeof buf, &needed, &count));
    EXPECT_EQ(count, 4u) << "the printing ports are intact, the spares gone";

    ASSERT_TRUE(Lpd().WaitForConversations(3 * kJobs, 20000));
    ASSERT_TRUE(Raw().WaitForConversations(kJobs, 20000));
    std::set<std::string> expected, got, numbers;
    for (int p = 0; p < 4; ++p)
        for (int j = 0; j < kJobs; ++j)
            expected.insert(std::to_string(p) + ":" + std::to_string(j) + ":" +
                            Bytes(30000 + p * 1000 + j, p * 100 + j));
    for (const Conversation &c : Lpd().Conversations()) {
        EXPECT_TRUE(c.complete);
        got.insert(c.dataFile);
        numbers.insert(c.controlHeader.substr(c.controlHeader.find("cfA"), 6));
    }
    for (const Conversation &c : Raw().Conversations()) got.insert(c.dataFile);
    EXPECT_TRUE(got == expected) << "every job delivered whole, exactly once";
    EXPECT_EQ(numbers.size(), (size_t)3 * kJobs) << "no two LPR jobs share a number";
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_EQ(qvhost::OpenSockets(), 0);
    EXPECT_EQ(qvhost::OpenFileHandles(), 0);
    EXPECT_EQ(qvhost::OpenPrinterHandles(), 0);
}

}  // namespace
