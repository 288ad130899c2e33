// Eight ports printing at once while other threads list ports, add and delete ports (the
// client's proposal), configure ports through the setup dialog, and another process pauses,
// resumes and cancels jobs. Every job not cancelled arrives whole exactly once; LPR job
// numbers never repeat; nothing is left open. QVLMR_STRESS_JOBS sets the jobs per port.
#include <stdlib.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "../../src/ui/resource.h"
#include "print_fixture.h"
#include "setup_call.h"
#include "tool_runner.h"

namespace {

const char kSibling[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tamsell\\Harbrook\\Client\\Orvo";

class StressTest : public NetworkTest {};

TEST_F(StressTest, EightPortsBesideSetupListingAndAnotherProcessControllingJobs) {
    const std::vector<PortSpec> ports = {{"LPR1", 1}, {"LPR2", 1}, {"LPR3", 1},       {"LPR4", 1},
                                         {"STR1", 2}, {"STR2", 2}, {"RAW1", 3, 9105}, {"RAW2", 3, 9105}};
    AddPortValue("SPARE", "10.9.9.9", 1);
    ASSERT_TRUE(StartWithPorts(ports));
    // real time: a held job looks at its status once a second, as on Windows, instead of
    // spinning on the virtual clock and starving the other process's job control
    qvhost::SetVirtualClock(false);
    Lpd();
    Raw(9105);
    std::string error;
    for (size_t p = 0; p < ports.size(); ++p)
        ASSERT_TRUE(qvhost::AddPrinter("PR" + std::to_string(p), ports[p].name, &error)) << error;
    const char *jobsSet = getenv("QVLMR_STRESS_JOBS");
    const int jobsPerPort = jobsSet && atoi(jobsSet) > 0 ? atoi(jobsSet) : 6;

    std::mutex lock;
    std::map<DWORD, std::string> jobData;  // job id -> bytes
    std::set<DWORD> live, cancelled;
    std::atomic<int> failedCalls{0};
    std::atomic<bool> printing{true};

    std::vector<std::thread> printers;
    for (size_t p = 0; p < ports.size(); ++p) {
        printers.emplace_back([&, p] {
            std::string printer = "PR" + std::to_string(p);
            HANDLE port = nullptr;  // open for all the port's jobs, as on Windows 95
            ASSERT_TRUE(monitor_.pfnOpenPort((LPSTR)ports[p].name.c_str(), &port));
            for (int j = 0; j < jobsPerPort; ++j) {
                DWORD job = qvhost::AddJob(printer, "doc", "alice");
                qvhost::SetJobStatusBits(job, JOB_STATUS_PRINTING, 0);
                std::string data = "port " + std::to_string(p) + " job " + std::to_string(j) + "\n" +
                                   Bytes(5000 + (p * 7919 + j * 104729) % 60000, (unsigned)(p * 1000 + j));
                {
                    std::lock_guard<std::mutex> l(lock);
                    jobData[job] = data;
                    live.insert(job);
                }
                PrintResult r = PrintOnOpenPort(monitor_, port, printer, job, data, 2, "doc", 16384);
                bool ok = r.ok();
                std::lock_guard<std::mutex> l(lock);
                live.erase(job);
                if (!ok && !cancelled.count(job)) ++failedCalls;
            }
            monitor_.pfnClosePort(port);
        });
    }

    // Beside the printing, each body runs over and over until the printing is done; each
    // must work at least once.
    std::vector<std::thread> beside;
    std::atomic<int> worked[4] = {};
    auto alongside = [&](std::function<bool(int)> body) {
        std::atomic<int> &count = worked[beside.size()];
        beside.emplace_back([&, body] {
            for (int n = 0; printing; ++n) count += body(n);
        });
    };
    alongside([&](int) {  // the port list, which the adder changes
        DWORD needed = 0, count = 0;
        monitor_.pfnEnumPorts(nullptr, 2, nullptr, 0, &needed, &count);
        std::vector<BYTE> buf(needed + 256);
        std::this_thread::yield();
        return monitor_.pfnEnumPorts(nullptr, 2, buf.data(), (DWORD)buf.size(), &needed, &count) &&
               count >= 9;
    });
    std::vector<std::string> addedNames;
    alongside([&](int n) {  // ports the client proposes, added and deleted
        // of one length, so no name is a prefix of another and every add is silent; a few
        // dozen ports are enough to change the list under the other threads
        if (n >= 40) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return false;
        }
        std::string name = "ADD" + std::to_string(10000 + n), err;
        std::string reg = std::string("REGEDIT4\n\n[") + kSibling + "]\n" + RegText("PortName", name) +
                          RegText("IPAddress", "10.8.8." + std::to_string(n % 250));
        if (!qvhost::ImportRegText(reg, &err)) return false;
        SetupCall call = SetupCall::Add(monitor_);
        if (call.Returned(30000) != "TRUE 0") return false;
        // refused (access denied) while jobs are queued: deleted once printing is over
        if (!monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR)name.c_str())) {
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED) << name;
            addedNames.push_back(name);
        }
        return true;
    });
    alongside([&](int n) {  // the printing ports' own settings, saved again while they print
        SetupCall call = SetupCall::Configure(monitor_, n % 3 == 0 ? "SPARE" : ports[n % ports.size()].name);
        HWND d = call.Dialog(IDD_PORT_SETUP_CONFIGURE, 30000);
        return d && qvhost::ClickButton(d, IDOK) && call.Finished(30000);
    });
    std::mt19937 random(7);
    alongside([&](int) {  // another process pauses, resumes and cancels the jobs
        DWORD job = 0;
        bool cancel = false;
        {
            std::lock_guard<std::mutex> l(lock);
            if (!live.empty()) job = *std::next(live.begin(), (long)(random() % live.size()));
            cancel = job && random() % 6 == 0;
            if (cancel) cancelled.insert(job);
        }
        if (!job) {
            std::this_thread::yield();
            return false;
        }
        std::string id = std::to_string(job);
        if (cancel) RunTool(home_, {"cancel", id});
        if (!cancel) RunTool(home_, {"pause", id});
        if (!cancel) RunTool(home_, {"resume", id});
        return true;
    });

    for (std::thread &t : printers) t.join();
    printing = false;
    for (std::thread &t : beside) t.join();
    EXPECT_EQ(failedCalls, 0) << "calls failed for jobs nobody cancelled";
    for (int k = 0; k < 4; ++k) EXPECT_GT(worked[k], 0) << "side " << k;
    // what stays queued was cancelled; the rest was reported sent and left the queue
    for (const qvhost::JobView &j : qvhost::Jobs()) {
        if (j.printer == "P") continue;
        EXPECT_TRUE(cancelled.count(j.id)) << "job " << j.id << " still queued: " << j.statusText;
        qvhost::RemoveJob(j.id);
    }
    for (const std::string &name : addedNames)
        EXPECT_TRUE(monitor_.pfnDeletePort(nullptr, nullptr, (LPSTR)name.c_str())) << name;

    // How often each document arrived whole (an interrupted delivery is a conversation too),
    // once every job not cancelled has arrived.
    auto delivered = [&] {
        std::map<std::string, int> n;
        for (const Conversation &c : Lpd().Conversations()) n[c.dataFile] += c.complete;
        for (const Conversation &c : Raw().Conversations()) ++n[c.dataFile];
        return n;
    };
    auto arrived = [&] {
        std::map<std::string, int> n = delivered();
        for (auto &j : jobData)
            if (!cancelled.count(j.first) && !n[j.second]) return false;
        return true;
    };
    for (int waited = 0; waited < 60000 && !arrived(); waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::map<std::string, int> n = delivered();
    for (auto &j : jobData)
        EXPECT_TRUE(cancelled.count(j.first) || n[j.second] == 1)
            << "job " << j.first << " delivered whole exactly once: " << n[j.second];
    std::set<std::string> numbers;
    size_t lprComplete = 0;
    for (const Conversation &c : Lpd().Conversations()) {
        if (!c.complete) continue;
        ++lprComplete;
        numbers.insert(c.controlHeader.substr(c.controlHeader.find("cfA"), 6));
    }
    EXPECT_EQ(numbers.size(), lprComplete) << "no two LPR jobs share a number";
    ExpectNothingLeft();
}

}  // namespace
