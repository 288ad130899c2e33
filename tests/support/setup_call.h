// AddPort or ConfigurePort through the MONITOR table on a thread of its own, as the
// spooler's thread that the setup dialog runs on; the test plays the user meanwhile.
#ifndef QVLMR_TEST_SETUP_CALL_H
#define QVLMR_TEST_SETUP_CALL_H

#include <qvlmr_host.h>

#include <functional>
#include <future>
#include <string>
#include <thread>

#include "monitor_table.h"

class SetupCall {
  public:
    // monitorName is AddPort's third argument.
    static SetupCall Add(MONITOR &monitor, const std::string &monitorName = "QV TCP/IP LMR Port",
                         HWND parent = nullptr);
    static SetupCall Configure(MONITOR &monitor, const std::string &portName, HWND parent = nullptr);
    SetupCall(SetupCall &&) = default;
    ~SetupCall();

    // The call's dialog of that template, once it waits for input; null (a test failure,
    // unless the time is 0) if none came.
    HWND Dialog(int templateId, int timeoutMs = 10000) const;
    // Waits for the call to return; false when it did not within the time.
    bool Finished(int timeoutMs = 10000);
    // Waits for the call to return: "TRUE <last error>" or "FALSE <last error>", or
    // "still running" when it did not within the time.
    std::string Returned(int timeoutMs = 10000);
    DWORD thread() const { return thread_; }

  private:
    explicit SetupCall(std::function<BOOL()> call);
    std::thread worker_;
    std::future<void> done_;
    DWORD thread_ = 0;
    std::shared_ptr<std::pair<BOOL, DWORD>> outcome_;
};

// The setup dialog's fields as "name|address|port number|lpr or raw|bytes on or off".
std::string DialogFields(HWND d);

#endif
