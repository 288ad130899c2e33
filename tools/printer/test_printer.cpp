#include "test_printer.h"

#include <string.h>

#include <algorithm>
#include <chrono>

#ifdef _WIN32
#include <winsock.h>
namespace {
typedef int SockLen;
const int kNoSignal = 0;
void CloseSocket(PrinterSocket s) {
    closesocket(s);
}
bool IsReset(int e) {
    return e == WSAECONNRESET || e == WSAECONNABORTED;
}
int LastError() {
    return WSAGetLastError();
}
const int kInterrupted = -1;  // Winsock calls are not interrupted by signals
}  // namespace
#else
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
namespace {
typedef socklen_t SockLen;
const int kNoSignal = MSG_NOSIGNAL;
void CloseSocket(PrinterSocket s) {
    close(s);
}
bool IsReset(int e) {
    return e == ECONNRESET || e == EPIPE;
}
int LastError() {
    return errno;
}
const int kInterrupted = EINTR;
}  // namespace
#endif

namespace {
const PrinterSocket kNoSocket = (PrinterSocket)-1;
const size_t kToTheEnd = (size_t)-1;
const uint64_t kEnded = ~(uint64_t)0;
thread_local size_t t_conversation = 0;  // the conversation a worker serves

uint64_t SteadyMs() {
    return (uint64_t)std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Whether the socket has something to read (or an end, or an error) within ms.
bool Readable(PrinterSocket s, int ms) {
#ifndef _WIN32
    pollfd p = {s, POLLIN, 0};  // select's fd_set would not hold a descriptor past 1023
    return poll(&p, 1, ms) > 0;
#else
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval t = {ms / 1000, (ms % 1000) * 1000};
    return select((int)s + 1, &set, nullptr, nullptr, &t) > 0;
#endif
}
}  // namespace

TestPrinter::~TestPrinter() {
    Stop();
}

bool TestPrinter::Start(int port, bool lpd) {
    lpd_ = lpd;
#ifdef _WIN32
    listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
#else
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);  // not inherited by the tools run
#endif
    if (listenFd_ == kNoSocket) return false;
    int on = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, (const char *)&on, sizeof on);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listenFd_, (sockaddr *)&a, sizeof a) != 0 || listen(listenFd_, 64) != 0) {
        CloseSocket(listenFd_);
        listenFd_ = kNoSocket;
        return false;
    }
    stopping_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void TestPrinter::Stop() {
    if (listenFd_ == kNoSocket) return;
    stopping_ = true;
    acceptThread_.join();
    for (std::thread &t : workers_) t.join();
    workers_.clear();
    CloseSocket(listenFd_);
    listenFd_ = kNoSocket;
}

void TestPrinter::SetMisbehaviour(Misbehaviour m, size_t after) {
    std::lock_guard<std::mutex> l(lock_);
    misbehaviour_ = m;
    after_ = after;
}

void TestPrinter::SetMisbehaviours(const std::vector<Misbehaviour> &next) {
    std::lock_guard<std::mutex> l(lock_);
    sequence_ = next;
    sequenceStart_ = conversations_.size();
}

void TestPrinter::SetPace(const Pace &pace) {
    std::lock_guard<std::mutex> l(lock_);
    pace_ = pace;
}

void TestPrinter::SetClock(std::function<uint64_t()> nowMs) {
    std::lock_guard<std::mutex> l(lock_);
    clock_ = std::move(nowMs);
}

uint64_t TestPrinter::Now() {
    std::lock_guard<std::mutex> l(lock_);
    return clock_ ? clock_() : SteadyMs();
}

uint64_t TestPrinter::Generation() {
    std::lock_guard<std::mutex> l(lock_);
    return generation_;
}

void TestPrinter::MarkIdle(uint64_t generation) {
    std::lock_guard<std::mutex> l(lock_);
    if (t_conversation < idleGeneration_.size() && idleGeneration_[t_conversation] != kEnded) {
        idleGeneration_[t_conversation] = generation;
        changed_.notify_all();
    }
}

void TestPrinter::Settle(int ms) {
    std::unique_lock<std::mutex> l(lock_);
    uint64_t now = ++generation_;
    changed_.notify_all();
    changed_.wait_for(l, std::chrono::milliseconds(ms), [&] {
        for (uint64_t g : idleGeneration_)
            if (g != kEnded && g < now) return false;
        return true;
    });
}

void TestPrinter::Rest(uint64_t generation) {
    MarkIdle(generation);
    std::unique_lock<std::mutex> l(lock_);
    changed_.wait_for(l, std::chrono::milliseconds(2), [&] { return generation_ != generation; });
}

Pace TestPrinter::CurrentPace() {
    std::lock_guard<std::mutex> l(lock_);
    return pace_;
}

size_t TestPrinter::WaitForPace(const Conversation &c, size_t len) {
    for (;;) {
        uint64_t generation = Generation();  // before the clock is read: see Settle
        Pace p = CurrentPace();
        if (!p.bytesPerSecond && !(p.burstBytes && p.restMs)) return len;
        uint64_t elapsed = Now() - c.startedAt;
        uint64_t allowed = p.bytesPerSecond ? p.bytesPerSecond * elapsed / 1000 + 1024
                                            : p.burstBytes * (elapsed / p.restMs + 1);
        if (allowed > c.received.size()) return std::min<uint64_t>(len, allowed - c.received.size());
        if (stopping_) return len;
        Rest(generation);
    }
}

void TestPrinter::WaitUntil(uint64_t at) {
    for (;;) {
        uint64_t generation = Generation();
        if (Now() >= at || stopping_) return;
        Rest(generation);
    }
}

void TestPrinter::SetQueue(const std::string &name) {
    std::lock_guard<std::mutex> lock(lock_);
    onlyQueue_ = name;
}

void TestPrinter::SetRawOutput(const std::string &bytes) {
    std::lock_guard<std::mutex> l(lock_);
    rawOutput_ = bytes;
}

std::vector<Conversation> TestPrinter::Conversations() {
    std::lock_guard<std::mutex> l(lock_);
    return conversations_;
}

std::vector<Conversation> TestPrinter::EndedConversations() {
    std::lock_guard<std::mutex> l(lock_);
    std::vector<Conversation> ended;
    for (size_t index : endOrder_) ended.push_back(conversations_[index]);
    return ended;
}

bool TestPrinter::WaitForConversations(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> l(lock_);
    return changed_.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return finished_ >= count; });
}

void TestPrinter::AcceptLoop() {
    while (!stopping_) {
        if (!Readable(listenFd_, 10)) continue;
#ifdef _WIN32
        PrinterSocket fd = accept(listenFd_, nullptr, nullptr);
#else
        PrinterSocket fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
#endif
        if (fd == kNoSocket) continue;
        size_t index;
        {
            std::lock_guard<std::mutex> l(lock_);
            conversations_.emplace_back();
            idleGeneration_.push_back(0);
            index = conversations_.size() - 1;
            sockaddr_in peer;
            SockLen len = sizeof peer;
            if (getpeername(fd, (sockaddr *)&peer, &len) == 0)
                conversations_[index].sourcePort = ntohs(peer.sin_port);
        }
        workers_.emplace_back([this, fd, index] { Serve(fd, index); });
    }
}

void TestPrinter::Serve(PrinterSocket fd, size_t index) {
    t_conversation = index;
    Conversation c;
    Misbehaviour m;
    size_t after;
    std::string output;
    {
        std::lock_guard<std::mutex> l(lock_);
        c.sourcePort = conversations_[index].sourcePort;
        m = index - sequenceStart_ < sequence_.size() ? sequence_[index - sequenceStart_] : misbehaviour_;
        after = after_;
        output = rawOutput_;
    }
    c.startedAt = Now();
    if (CurrentPace().bytesPerSecond || CurrentPace().burstBytes || m == Misbehaviour::StallInDataFile) {
        int small = 32 << 10;  // a printer's buffer, not a server's
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, (const char *)&small, sizeof small);
    }
    if (m == Misbehaviour::CloseAtOnce)
        ;  // nothing is read or answered
    else if (lpd_)
        ServeLpd(fd, c, m, after);
    else
        ServeRaw(fd, c, m, after, output);
    if (!c.reset) {
        // A client that ends with a reset sends it right behind its end of stream.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        char b;
        if (Readable(fd, 0) && recv(fd, &b, 1, 0) < 0 && IsReset(LastError())) c.reset = true;
        int err = 0;
        SockLen len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, (char *)&err, &len);
        if (IsReset(err)) c.reset = true;
    }
    if (resetOnClose_) {
        linger hard = {1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, (const char *)&hard, sizeof hard);
    }
    CloseSocket(fd);
    c.endedAt = Now();
    std::lock_guard<std::mutex> l(lock_);
    idleGeneration_[index] = kEnded;
    conversations_[index] = c;
    endOrder_.push_back(index);
    ++finished_;
    changed_.notify_all();
}

long TestPrinter::ReadSome(PrinterSocket fd, Conversation &c, char *buf, size_t len) {
    while (!reading_ && !stopping_) Rest(Generation());
    len = WaitForPace(c, len);
    for (;;) {
        uint64_t generation = Generation();
        bool ready = Readable(fd, 5);
        if (stopping_ && !ready) return 0;
        if (!ready) {
            MarkIdle(generation);  // the client has sent nothing more for now
            continue;
        }
        long n = recv(fd, buf, (int)len, 0);
        if (n < 0 && LastError() == kInterrupted) continue;
        if (n < 0 && IsReset(LastError())) c.reset = true;
        if (n > 0) c.received.append(buf, (size_t)n);
        return n;
    }
}

void TestPrinter::Reply(PrinterSocket fd, Conversation &c, const char *bytes, size_t n) {
    if (unsigned delay = CurrentPace().answerDelayMs) WaitUntil(Now() + delay);
    if (send(fd, bytes, (int)n, kNoSignal) < 0 && IsReset(LastError())) c.reset = true;
}

bool TestPrinter::ReadLine(PrinterSocket fd, Conversation &c, std::string *line) {
    line->clear();
    char ch;
    while (ReadSome(fd, c, &ch, 1) == 1) {
        line->push_back(ch);
        if (ch == '\n') return true;
    }
    return false;
}

bool TestPrinter::ReadInto(PrinterSocket fd, Conversation &c, std::string *file, size_t count,
                           size_t closeAfter) {
    char buf[65536];
    while (file->size() < count) {
        size_t want = std::min<size_t>({sizeof buf, count - file->size(), closeAfter - file->size()});
        if (want == 0) return false;
        long n = ReadSome(fd, c, buf, want);
        if (n <= 0) return count == kToTheEnd;
        file->append(buf, (size_t)n);
    }
    return true;
}

bool TestPrinter::Stall(PrinterSocket fd, Conversation &c, std::string *file, size_t after) {
    if (!ReadInto(fd, c, file, after, kToTheEnd)) return false;
    reading_ = false;
    return true;
}

void TestPrinter::ServeLpd(PrinterSocket fd, Conversation &c, Misbehaviour m, size_t after) {
    std::string line;
    char buf[4096];
    if (!ReadLine(fd, c, &line) || line[0] != 2) return;
    c.queue = line.substr(1, line.size() - 2);
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!onlyQueue_.empty() && c.queue != onlyQueue_) m = Misbehaviour::AnswerQueueWith1;
    }
    if (m == Misbehaviour::NeverAnswerQueue || m == Misbehaviour::AnswerQueueWith1) {
        if (m == Misbehaviour::AnswerQueueWith1) Reply(fd, c, "\x01", 1);
        while (ReadSome(fd, c, buf, sizeof buf) > 0) {
        }
        return;
    }
    Reply(fd, c, "\0", 1);
    bool sawControl = false, sawData = false;
    for (;;) {
        if (!ReadLine(fd, c, &line)) break;
        char sub = line[0];
        unsigned long long count = strtoull(line.c_str() + 1, nullptr, 10);
        Reply(fd, c, m == Misbehaviour::AnswerSubcommandWith2 && (size_t)sub == after ? "\x02" : "\0", 1);
        bool control = sub == 2;
        if (!control) dataStarted_ = true;
        (control ? c.controlHeader : c.dataHeader) = line;
        std::string *file = control ? &c.controlFile : &c.dataFile;
        size_t closeAfter = kToTheEnd;
        if (control && m == Misbehaviour::CloseInControlFile) closeAfter = after;
        if (!control && m == Misbehaviour::CloseInDataFile) closeAfter = after;
        if (!control && m == Misbehaviour::StallInDataFile &&
            !Stall(fd, c, file, std::min<size_t>(count, after)))
            return;
        if (count > (1ull << 40)) {
            // A streamed data file: its end is the end of the connection.
            c.complete = ReadInto(fd, c, file, kToTheEnd, closeAfter) && sawControl;
            return;
        }
        if (!ReadInto(fd, c, file, (size_t)count, closeAfter)) return;
        char end;
        if (ReadSome(fd, c, &end, 1) != 1 || end != 0) return;
        Reply(fd, c, "\0", 1);
        (control ? sawControl : sawData) = true;
    }
    c.complete = sawControl && sawData;
}

void TestPrinter::ServeRaw(PrinterSocket fd, Conversation &c, Misbehaviour m, size_t after,
                           const std::string &output) {
    if (!output.empty()) send(fd, output.data(), (int)output.size(), kNoSignal);
    dataStarted_ = true;
    if (m == Misbehaviour::StallInDataFile && !Stall(fd, c, &c.dataFile, after)) return;
    if (ReadInto(fd, c, &c.dataFile, kToTheEnd, m == Misbehaviour::CloseInRaw ? after : kToTheEnd))
        c.complete = !c.reset;
}

std::string Bytes(size_t n, unsigned seed) {
    std::string s(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = (char)(x & 0xff);
    }
    return s;
}
