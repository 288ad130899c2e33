// A printer on 127.0.0.1 for the smoke harness: an LPD queue (port 515) or a raw port that
// keeps every conversation, and can stop reading in the middle of the data until released.
#ifndef QVLMR_SMOKE_PRINTER_H
#define QVLMR_SMOKE_PRINTER_H

#include <winsock.h>

#include <string>
#include <vector>

struct SmokeConversation {
    int peerPort = 0;
    std::string queue, controlHeader, controlFile, dataHeader, data;
    bool complete = false;  // every file with its end byte, or a streamed file to the end
    bool broken = false;    // the connection ended with an error
};

class SmokePrinter {
  public:
    SmokePrinter();
    ~SmokePrinter();
    bool Start(int port, bool lpd);
    void Stop();
    // Reading stops once this many data bytes of a conversation arrived, until Release.
    void StallAfter(size_t bytes);
    void Release();
    bool Stalled();  // a conversation is waiting at the stall
    std::vector<SmokeConversation> Conversations();
    bool WaitConversations(size_t count, int milliseconds);

  private:
    static DWORD WINAPI AcceptThread(LPVOID self);
    void Serve(SOCKET c, SmokeConversation *conv);
    void ServeLpd(SOCKET c, SmokeConversation *conv);
    bool ReadLine(SOCKET c, std::string *line, SmokeConversation *conv);
    // Reads count bytes (to the end of the connection when count is ~0) into out.
    bool ReadData(SOCKET c, unsigned long long count, std::string *out, bool data, SmokeConversation *conv);
    void Finish(const SmokeConversation &conv);

    CRITICAL_SECTION lock_;
    HANDLE release_;
    SOCKET listen_ = INVALID_SOCKET;
    HANDLE thread_ = nullptr;
    bool lpd_ = true, stalled_ = false;
    size_t stallAfter_ = 0;
    std::vector<SmokeConversation> done_;
};

#endif
