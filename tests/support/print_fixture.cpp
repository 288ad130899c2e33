#include "print_fixture.h"

#include <algorithm>

void PrintTest::SetUp() {
    MonitorTest::SetUp();
    qvhost::SetStatusHook([this](DWORD job, const std::string &text) {
        StatusEvent e{qvhost::NowMs(), job, text};
        std::function<void(const StatusEvent &)> hook;
        {
            std::lock_guard<std::mutex> l(statusLock_);
            statuses_.push_back(e);
            hook = onStatus_;
        }
        if (hook) hook(e);
    });
    std::string error;
    ASSERT_TRUE(qvhost::AddPrinter("P", "unset", &error)) << error;
}

void PrintTest::TearDown() {
    qvhost::SetStatusHook(nullptr);
    qvhost::SetJobQueryHook(nullptr);
    qvhost::SetSleepHook(nullptr);
    if (lpd_) lpd_->Stop();
    if (raw_) raw_->Stop();
    MonitorTest::TearDown();
}

DWORD PrintTest::QueueJob(const std::string &port, const std::string &document) {
    std::string error;
    EXPECT_TRUE(qvhost::AddPrinter("P", port, &error));
    DWORD job = qvhost::AddJob("P", document, "alice");
    EXPECT_NE(job, 0u);
    qvhost::SetJobStatusBits(job, JOB_STATUS_PRINTING, 0);
    return job;
}

PrintResult PrintTest::Print(const std::string &port, DWORD job, const std::string &data, DWORD level,
                             const std::string &document, size_t chunk, const std::string &printer) {
    PrintResult r = PrintThroughTable(monitor_, port, printer, job, data, level, document, chunk);
    EXPECT_TRUE(r.opened) << port;
    return r;
}

HANDLE PrintTest::StartDocument(const std::string &port, DWORD job, DWORD level) {
    HANDLE h = nullptr;
    EXPECT_TRUE(monitor_.pfnOpenPort((LPSTR)port.c_str(), &h));
    DOC_INFO_2A doc = {(LPSTR) "Report", nullptr, nullptr, 0, 0};
    EXPECT_TRUE(monitor_.pfnStartDocPort(h, (LPSTR) "P", job, level, (LPBYTE)&doc));
    return h;
}

bool PrintTest::StartWithLpdPort() {
    if (!StartWithPorts({{"lpt", 1}})) return false;
    Lpd();
    return true;
}

bool PrintTest::StartWithPorts(const std::vector<PortSpec> &ports) {
    for (const PortSpec &p : ports) AddPortValue(p.name, "127.0.0.1", p.protocol, p.rawPort, p.queue);
    return StartMonitor();
}

std::vector<Conversation> PrintTest::Received(TestPrinter &printer, size_t count, int ms) {
    EXPECT_TRUE(printer.WaitForConversations(count, ms)) << count << " conversation(s) expected";
    std::vector<Conversation> c = printer.Conversations();
    if (c.size() < count) c.resize(count);
    return c;
}

bool PrintTest::InQueue(DWORD job) {
    qvhost::JobView v;
    return qvhost::GetJob(job, &v);
}

void PrintTest::ExpectNothingLeft() {
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_EQ(SocketsOpened(), 0);
    EXPECT_EQ(FileHandlesOpened(), 0);
    EXPECT_EQ(PrinterHandlesOpened(), 0);
}

void NetworkTest::SetUp() {
    PrintTest::SetUp();
    REQUIRE_RESERVED_PORTS();
    ASSERT_TRUE(UseFreshNetwork());
}

TestPrinter &PrintTest::Lpd() {
    if (!lpd_) {
        lpd_.reset(new TestPrinter);
        EXPECT_TRUE(lpd_->Start(515, true));
    }
    return *lpd_;
}

TestPrinter &PrintTest::Raw(int port) {
    if (!raw_) {
        raw_.reset(new TestPrinter);
        EXPECT_TRUE(raw_->Start(port, false));
    }
    return *raw_;
}

std::vector<StatusEvent> PrintTest::Statuses() {
    std::lock_guard<std::mutex> l(statusLock_);
    return statuses_;
}

void PrintTest::SetStatusAction(std::function<void(const StatusEvent &)> f) {
    std::lock_guard<std::mutex> l(statusLock_);
    onStatus_ = std::move(f);
}

std::vector<std::string> PrintTest::Texts(size_t from) {
    std::vector<std::string> out;
    for (const StatusEvent &e : Statuses()) out.push_back(e.text);
    out.erase(out.begin(), out.begin() + (long)std::min(from, out.size()));
    return out;
}

std::vector<uint64_t> PrintTest::Gaps(const std::string &from, const std::string &to) {
    std::vector<StatusEvent> s = Statuses();
    std::vector<uint64_t> out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i].text != from) continue;
        for (size_t j = i + 1; j < s.size(); ++j)
            if (s[j].text == to) {
                out.push_back(s[j].at - s[i].at);
                break;
            }
    }
    return out;
}
