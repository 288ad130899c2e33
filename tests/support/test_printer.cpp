#include "test_printer.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

TestPrinter::~TestPrinter() {
    Stop();
}

bool TestPrinter::Start(int port, bool lpd) {
    lpd_ = lpd;
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return false;
    int on = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listenFd_, (sockaddr *)&a, sizeof a) != 0 || listen(listenFd_, 64) != 0) {
        close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    if (pipe(wakeFds_) != 0) return false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void TestPrinter::Stop() {
    if (listenFd_ < 0) return;
    stopping_ = true;
    if (write(wakeFds_[1], "x", 1) != 1) {
    }
    acceptThread_.join();
    for (std::thread &t : workers_) t.join();
    workers_.clear();
    close(listenFd_);
    close(wakeFds_[0]);
    close(wakeFds_[1]);
    listenFd_ = -1;
}

void TestPrinter::SetMisbehaviour(Misbehaviour m, size_t after) {
    std::lock_guard<std::mutex> l(lock_);
    misbehaviour_ = m;
    after_ = after;
}

void TestPrinter::SetReadDelayMs(int ms, size_t chunk) {
    std::lock_guard<std::mutex> l(lock_);
    readDelayMs_ = ms;
    readChunk_ = chunk;
}

void TestPrinter::SetReading(bool on) {
    reading_ = on;
}

void TestPrinter::SetRawOutput(const std::string &bytes) {
    std::lock_guard<std::mutex> l(lock_);
    rawOutput_ = bytes;
}

std::vector<Conversation> TestPrinter::Conversations() {
    std::lock_guard<std::mutex> l(lock_);
    return conversations_;
}

bool TestPrinter::WaitForConversations(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> l(lock_);
    return changed_.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return finished_ >= count; });
}

void TestPrinter::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        size_t index;
        {
            std::lock_guard<std::mutex> l(lock_);
            conversations_.emplace_back();
            index = conversations_.size() - 1;
            sockaddr_in peer;
            socklen_t len = sizeof peer;
            if (getpeername(fd, (sockaddr *)&peer, &len) == 0)
                conversations_[index].sourcePort = ntohs(peer.sin_port);
        }
        workers_.emplace_back([this, fd, index] { Serve(fd, index); });
    }
}

void TestPrinter::SetResetOnClose(bool on) {
    resetOnClose_ = on;
}

void TestPrinter::Serve(int fd, size_t index) {
    Conversation c;
    {
        std::lock_guard<std::mutex> l(lock_);
        c.sourcePort = conversations_[index].sourcePort;
    }
    if (lpd_)
        ServeLpd(fd, c);
    else
        ServeRaw(fd, c);
    if (!c.reset) {
        // A client that ends with a reset sends it right behind its end of stream.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        char b;
        long n = recv(fd, &b, 1, MSG_DONTWAIT);
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if ((n < 0 && (errno == ECONNRESET || errno == EPIPE)) || err == ECONNRESET || err == EPIPE)
            c.reset = true;
    }
    if (resetOnClose_) {
        linger hard = {1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    close(fd);
    std::lock_guard<std::mutex> l(lock_);
    conversations_[index] = c;
    ++finished_;
    changed_.notify_all();
}

long TestPrinter::ReadSome(int fd, Conversation &c, char *buf, size_t len) {
    int delay;
    size_t chunk;
    {
        std::lock_guard<std::mutex> l(lock_);
        delay = readDelayMs_;
        chunk = readChunk_;
    }
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    while (!reading_ && !stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (len > chunk) len = chunk;
    for (;;) {
        pollfd p = {fd, POLLIN, 0};
        int r = poll(&p, 1, 100);
        if (stopping_ && r == 0) return 0;
        if (r == 0) continue;
        long n = recv(fd, buf, len, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == ECONNRESET) c.reset = true;
        if (n > 0) c.received.append(buf, (size_t)n);
        return n;
    }
}

void TestPrinter::Reply(int fd, Conversation &c, const char *bytes, size_t n) {
    if (send(fd, bytes, n, MSG_NOSIGNAL) < 0 && (errno == EPIPE || errno == ECONNRESET)) c.reset = true;
}

bool TestPrinter::ReadLine(int fd, Conversation &c, std::string *line) {
    line->clear();
    char ch;
    while (ReadSome(fd, c, &ch, 1) == 1) {
        line->push_back(ch);
        if (ch == '\n') return true;
    }
    return false;
}

bool TestPrinter::ReadExactly(int fd, Conversation &c, size_t count, std::string *out, size_t closeAfter) {
    char buf[65536];
    while (out->size() < count) {
        size_t want = std::min(sizeof buf, count - out->size());
        if (closeAfter != (size_t)-1 && out->size() + want > closeAfter) want = closeAfter - out->size();
        if (want == 0) return false;
        long n = ReadSome(fd, c, buf, want);
        if (n <= 0) return false;
        out->append(buf, (size_t)n);
    }
    return true;
}

void TestPrinter::ServeLpd(int fd, Conversation &c) {
    Misbehaviour m;
    size_t after;
    {
        std::lock_guard<std::mutex> l(lock_);
        m = misbehaviour_;
        after = after_;
    }
    std::string line;
    char buf[4096];
    if (!ReadLine(fd, c, &line) || line[0] != 2) return;
    c.queue = line.substr(1, line.size() - 2);
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
        Reply(fd, c, "\0", 1);
        bool control = sub == 2;
        (control ? c.controlHeader : c.dataHeader) = line;
        std::string *file = control ? &c.controlFile : &c.dataFile;
        size_t closeAfter = (size_t)-1;
        if (control && m == Misbehaviour::CloseInControlFile) closeAfter = after;
        if (!control && m == Misbehaviour::CloseInDataFile) closeAfter = after;
        if (count > (1ull << 40)) {
            // A streamed data file: its end is the end of the connection.
            while (true) {
                size_t want = sizeof buf;
                if (closeAfter != (size_t)-1) {
                    if (file->size() >= closeAfter) return;
                    want = std::min(want, closeAfter - file->size());
                }
                long n = ReadSome(fd, c, buf, want);
                if (n <= 0) break;
                file->append(buf, (size_t)n);
            }
            sawData = true;
            c.complete = sawControl;
            return;
        }
        if (!control && m == Misbehaviour::StallInDataFile) {
            if (!ReadExactly(fd, c, std::min<size_t>((size_t)count, after), file, (size_t)-1)) return;
            reading_ = false;
        }
        if (!ReadExactly(fd, c, (size_t)count, file, closeAfter)) return;
        char end;
        if (ReadSome(fd, c, &end, 1) != 1 || end != 0) return;
        Reply(fd, c, "\0", 1);
        if (control)
            sawControl = true;
        else
            sawData = true;
    }
    c.complete = sawControl && sawData;
}

void TestPrinter::ServeRaw(int fd, Conversation &c) {
    Misbehaviour m;
    size_t after;
    std::string output;
    {
        std::lock_guard<std::mutex> l(lock_);
        m = misbehaviour_;
        after = after_;
        output = rawOutput_;
    }
    if (!output.empty()) send(fd, output.data(), output.size(), MSG_NOSIGNAL);
    char buf[65536];
    for (;;) {
        size_t want = sizeof buf;
        if (m == Misbehaviour::CloseInRaw) {
            if (c.dataFile.size() >= after) return;
            want = std::min(want, after - c.dataFile.size());
        }
        long n = ReadSome(fd, c, buf, want);
        if (n <= 0) break;
        c.dataFile.append(buf, (size_t)n);
    }
    c.complete = !c.reset;
}
