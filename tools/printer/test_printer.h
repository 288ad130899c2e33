// A printer on 127.0.0.1 for tests: an LPD queue (port 515) or a raw port that records
// every byte of each conversation and can misbehave on cue. It builds on Linux and, for the
// harness that runs the Windows module under Wine, with MinGW (Winsock, posix threads).
#ifndef QVLMR_TEST_PRINTER_H
#define QVLMR_TEST_PRINTER_H

#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
typedef uintptr_t PrinterSocket;  // a Winsock SOCKET
#else
typedef int PrinterSocket;
#endif

// How a printer reads and answers, on the printer's clock (SetClock): as fast as the client
// sends, at a steady rate, or in bursts with rests between; each answer on time or late.
struct Pace {
    size_t bytesPerSecond = 0;  // a steady reader; 0 for none
    size_t burstBytes = 0;      // stop-and-go: this many bytes at once, then a rest of restMs
    unsigned restMs = 0;
    unsigned answerDelayMs = 0;  // every acknowledgement this late
};

struct Conversation {
    int sourcePort = 0;
    uint64_t startedAt = 0;     // on the printer's clock
    uint64_t endedAt = 0;       // when the printer closed it
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
    NeverAnswerQueue,       // reads the receive-job command, never answers
    AnswerQueueWith1,       // refuses the queue
    CloseInControlFile,     // closes after `after` bytes of the control file
    CloseInDataFile,        // closes after `after` bytes of the data file
    CloseInRaw,             // closes after `after` raw bytes
    StallInDataFile,        // stops reading after `after` bytes of the data file or raw data
                            // (SetReading)
    AnswerSubcommandWith2,  // to the subcommand whose code is `after` (2 control, 3 data),
                            // then reads its file all the same
    CloseAtOnce,            // accepts and closes before reading anything
};

class TestPrinter {
  public:
    ~TestPrinter();
    // Listens on 127.0.0.1:port; lpd speaks the LPD protocol, else raw.
    bool Start(int port, bool lpd);
    void Stop();
    void SetMisbehaviour(Misbehaviour m, size_t after = 0);
    // The next connections misbehave in this order, one each; the ones after that as the
    // last set by SetMisbehaviour.
    void SetMisbehaviours(const std::vector<Misbehaviour> &next);
    void SetRawOutput(const std::string &bytes);  // sent back on each raw connection
    // An LPD printer with this one queue answers 1 to any other, as BSD lpd does ("": any).
    void SetQueue(const std::string &name);
    void SetReading(bool on) { reading_ = on; }  // off: a stalled printer that reads nothing
    bool Reading() const { return reading_; }    // false once a StallInDataFile stall began
    // A data file's header was read, or a raw connection began.
    bool DataStarted() const { return dataStarted_; }
    void SetResetOnClose(bool on) { resetOnClose_ = on; }  // end each connection with a reset
    void SetPace(const Pace &pace);                        // at once, for every connection
    // The clock that paces reading and answers, in ms (the steady clock by default).
    void SetClock(std::function<uint64_t()> nowMs);
    // After the clock has moved on: returns once every connection has read and answered
    // all that the new time allows, or waits for bytes the client has not sent (at most ms).
    void Settle(int ms = 500);
    std::vector<Conversation> Conversations();       // in the order they began; ongoing ones too
    std::vector<Conversation> EndedConversations();  // those that ended, in that order
    bool WaitForConversations(size_t count, int timeoutMs);

  private:
    void AcceptLoop();
    void Serve(PrinterSocket fd, size_t index);
    void ServeLpd(PrinterSocket fd, Conversation &c, Misbehaviour m, size_t after);
    void ServeRaw(PrinterSocket fd, Conversation &c, Misbehaviour m, size_t after, const std::string &output);
    bool ReadLine(PrinterSocket fd, Conversation &c, std::string *line);
    void Reply(PrinterSocket fd, Conversation &c, const char *bytes, size_t n);
    long ReadSome(PrinterSocket fd, Conversation &c, char *buf, size_t len);
    // The most the pace allows reading now (at least 1), once it allows any.
    size_t WaitForPace(const Conversation &c, size_t len);
    void WaitUntil(uint64_t at);  // on the printer's clock
    uint64_t Now();
    Pace CurrentPace();
    uint64_t Generation();
    // This worker has done what the time of that Settle generation allows.
    void MarkIdle(uint64_t generation);
    void Rest(uint64_t generation);  // idle until the next Settle, or 2 ms
    // Reads `after` bytes into *file, then stops reading (SetReading).
    bool Stall(PrinterSocket fd, Conversation &c, std::string *file, size_t after);
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
    std::vector<size_t> endOrder_;
    Misbehaviour misbehaviour_ = Misbehaviour::None;
    std::vector<Misbehaviour> sequence_;
    size_t sequenceStart_ = 0;
    size_t after_ = 0;
    std::string rawOutput_;
    std::string onlyQueue_;
    Pace pace_;
    std::function<uint64_t()> clock_;
    uint64_t generation_ = 0;               // Settle calls so far
    std::vector<uint64_t> idleGeneration_;  // per conversation; ~0 once it ended
    std::atomic<bool> stopping_{false};
    std::atomic<bool> reading_{true};
    std::atomic<bool> dataStarted_{false};
    std::atomic<bool> resetOnClose_{false};
};

// Documents of n bytes that differ with the seed.
std::string Bytes(size_t n, unsigned seed = 1);

#endif
