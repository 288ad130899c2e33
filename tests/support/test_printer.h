// A printer on 127.0.0.1 for tests: an LPD queue (port 515) or a raw port that records
// every byte of each conversation and can misbehave on cue. It builds on Linux and, for the
// harness that runs the Windows module under Wine, with MinGW (Winsock, posix threads).
#ifndef QVLMR_TEST_PRINTER_H
#define QVLMR_TEST_PRINTER_H

#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
typedef uintptr_t PrinterSocket;  // a Winsock SOCKET
#else
typedef int PrinterSocket;
#endif

struct Conversation {
    int sourcePort = 0;
    std::string received;       // every byte, in order
    std::string queue;          // the receive-job command's queue
    std::string controlHeader;  // "\x02<count> <name>\n"
    std::string controlFile;
    std::string dataHeader;
    std::string dataFile;
    bool complete = false;  // every announced file arrived with its end byte
    bool reset = false;     // the client reset the connection
};

enum class Misbehaviour {
    None,
    NeverAnswerQueue,    // reads the receive-job command, never answers
    AnswerQueueWith1,    // refuses the queue
    CloseInControlFile,  // closes after `after` bytes of the control file
    CloseInDataFile,     // closes after `after` bytes of the data file
    CloseInRaw,          // closes after `after` raw bytes
    StallInDataFile,     // stops reading after `after` bytes of the data file (SetReading)
};

class TestPrinter {
  public:
    ~TestPrinter();
    // Listens on 127.0.0.1:port; lpd speaks the LPD protocol, else raw.
    bool Start(int port, bool lpd);
    void Stop();
    void SetMisbehaviour(Misbehaviour m, size_t after = 0);
    void SetRawOutput(const std::string &bytes);           // sent back on each raw connection
    void SetReading(bool on) { reading_ = on; }            // off: a stalled printer that reads nothing
    bool Reading() const { return reading_; }              // false once a StallInDataFile stall began
    void SetResetOnClose(bool on) { resetOnClose_ = on; }  // end each connection with a reset
    std::vector<Conversation> Conversations();
    bool WaitForConversations(size_t count, int timeoutMs);

  private:
    void AcceptLoop();
    void Serve(PrinterSocket fd, size_t index);
    void ServeLpd(PrinterSocket fd, Conversation &c, Misbehaviour m, size_t after);
    void ServeRaw(PrinterSocket fd, Conversation &c, Misbehaviour m, size_t after, const std::string &output);
    bool ReadLine(PrinterSocket fd, Conversation &c, std::string *line);
    void Reply(PrinterSocket fd, Conversation &c, const char *bytes, size_t n);
    long ReadSome(PrinterSocket fd, Conversation &c, char *buf, size_t len);
    // Reads into *file until it holds count bytes ((size_t)-1: until the connection ends);
    // false when it stops short, or holds closeAfter bytes first.
    bool ReadInto(PrinterSocket fd, Conversation &c, std::string *file, size_t count, size_t closeAfter);

    PrinterSocket listenFd_ = (PrinterSocket)-1;
    bool lpd_ = true;
    std::thread acceptThread_;
    std::vector<std::thread> workers_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Conversation> conversations_;
    size_t finished_ = 0;
    Misbehaviour misbehaviour_ = Misbehaviour::None;
    size_t after_ = 0;
    std::string rawOutput_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> reading_{true};
    std::atomic<bool> resetOnClose_{false};
};

// Documents of n bytes that differ with the seed.
std::string Bytes(size_t n, unsigned seed = 1);

#endif
