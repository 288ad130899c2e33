#include "smoke_printer.h"

#include <stdlib.h>

namespace {
const unsigned long long kToTheEnd = ~0ull;
}

SmokePrinter::SmokePrinter() {
    InitializeCriticalSection(&lock_);
    release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

SmokePrinter::~SmokePrinter() {
    Stop();
    CloseHandle(release_);
    DeleteCriticalSection(&lock_);
}

bool SmokePrinter::Start(int port, bool lpd) {
    lpd_ = lpd;
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)port);
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    BOOL reuse = TRUE;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, (const char *)&reuse, sizeof reuse);
    if (listen_ == INVALID_SOCKET || bind(listen_, (sockaddr *)&a, sizeof a) != 0 ||
        listen(listen_, 4) != 0) {
        Stop();
        return false;
    }
    thread_ = CreateThread(nullptr, 0, AcceptThread, this, 0, nullptr);
    return thread_ != nullptr;
}

void SmokePrinter::Stop() {
    if (listen_ != INVALID_SOCKET) closesocket(listen_);
    listen_ = INVALID_SOCKET;
    Release();
    if (thread_) {
        WaitForSingleObject(thread_, 30000);
        CloseHandle(thread_);
    }
    thread_ = nullptr;
}

void SmokePrinter::StallAfter(size_t bytes) {
    EnterCriticalSection(&lock_);
    stallAfter_ = bytes;
    ResetEvent(release_);
    LeaveCriticalSection(&lock_);
}

void SmokePrinter::Release() {
    EnterCriticalSection(&lock_);
    stallAfter_ = 0;
    SetEvent(release_);
    LeaveCriticalSection(&lock_);
}

bool SmokePrinter::Stalled() {
    EnterCriticalSection(&lock_);
    bool s = stalled_;
    LeaveCriticalSection(&lock_);
    return s;
}

std::vector<SmokeConversation> SmokePrinter::Conversations() {
    EnterCriticalSection(&lock_);
    std::vector<SmokeConversation> copy = done_;
    LeaveCriticalSection(&lock_);
    return copy;
}

bool SmokePrinter::WaitConversations(size_t count, int milliseconds) {
    for (int waited = 0;; waited += 50) {
        if (Conversations().size() >= count) return true;
        if (waited >= milliseconds) return false;
        Sleep(50);
    }
}

DWORD WINAPI SmokePrinter::AcceptThread(LPVOID p) {
    SmokePrinter *self = (SmokePrinter *)p;
    for (;;) {
        sockaddr_in peer;
        int length = sizeof peer;
        SOCKET c = accept(self->listen_, (sockaddr *)&peer, &length);
        if (c == INVALID_SOCKET) return 0;
        SmokeConversation conv;
        conv.peerPort = ntohs(peer.sin_port);
        self->Serve(c, &conv);
        closesocket(c);
        self->Finish(conv);
    }
}

void SmokePrinter::Finish(const SmokeConversation &conv) {
    EnterCriticalSection(&lock_);
    done_.push_back(conv);
    LeaveCriticalSection(&lock_);
}

void SmokePrinter::Serve(SOCKET c, SmokeConversation *conv) {
    if (lpd_) {
        ServeLpd(c, conv);
    } else {
        conv->complete = ReadData(c, kToTheEnd, &conv->data, true, conv);
    }
}

bool SmokePrinter::ReadLine(SOCKET c, std::string *line, SmokeConversation *conv) {
    line->clear();
    char ch;
    for (;;) {
        int n = recv(c, &ch, 1, 0);
        if (n < 0) conv->broken = true;
        if (n <= 0) return false;
        *line += ch;
        if (ch == '\n') return true;
    }
}

bool SmokePrinter::ReadData(SOCKET c, unsigned long long count, std::string *out, bool data,
                            SmokeConversation *conv) {
    char buffer[8192];
    while (count == kToTheEnd || out->size() < count) {
        if (data) {
            EnterCriticalSection(&lock_);
            bool stall = stallAfter_ && out->size() >= stallAfter_;
            stalled_ = stall;
            LeaveCriticalSection(&lock_);
            if (stall) WaitForSingleObject(release_, INFINITE);
            EnterCriticalSection(&lock_);
            stalled_ = false;
            LeaveCriticalSection(&lock_);
        }
        unsigned long long left = count == kToTheEnd ? sizeof buffer : count - out->size();
        int n = recv(c, buffer, (int)(left < sizeof buffer ? left : sizeof buffer), 0);
        if (n < 0) conv->broken = true;
        if (n <= 0) return count == kToTheEnd && n == 0;
        out->append(buffer, (size_t)n);
    }
    return true;
}

void SmokePrinter::ServeLpd(SOCKET c, SmokeConversation *conv) {
    std::string line;
    if (!ReadLine(c, &line, conv) || line[0] != 2) return;
    conv->queue = line.substr(1, line.size() - 2);
    send(c, "", 1, 0);
    bool control = false, data = false;
    while (ReadLine(c, &line, conv)) {
        bool isData = line[0] == 3;
        unsigned long long count = strtoull(line.c_str() + 1, nullptr, 10);
        (isData ? conv->dataHeader : conv->controlHeader) = line;
        send(c, "", 1, 0);
        // A count no file can have: the data runs to the end of the connection.
        bool streamed = count >= 1000000000000ull;
        std::string &file = isData ? conv->data : conv->controlFile;
        if (!ReadData(c, streamed ? kToTheEnd : count, &file, isData, conv)) return;
        if (streamed) {
            conv->complete = control;
            return;
        }
        char end;
        if (recv(c, &end, 1, 0) != 1 || end != 0) return;
        send(c, "", 1, 0);
        (isData ? data : control) = true;
    }
    conv->complete = control && data;
}
