#include "setup_call.h"

#include <gtest/gtest.h>

#include <chrono>

#include "../../src/ui/resource.h"

std::string DialogFields(HWND d) {
    using namespace qvhost;
    return FieldText(d, IDC_PORT_NAME) + "|" + FieldText(d, IDC_ADDRESS) + "|" +
           FieldText(d, IDC_PORT_NUMBER) + (ControlChecked(d, IDC_LPR) ? "|lpr" : "") +
           (ControlChecked(d, IDC_RAW) ? "|raw" : "") +
           (ControlChecked(d, IDC_BYTE_COUNT) ? "|bytes on" : "|bytes off");
}

SetupCall::SetupCall(std::function<BOOL()> call) : outcome_(std::make_shared<std::pair<BOOL, DWORD>>()) {
    std::promise<DWORD> started;
    std::promise<void> finished;
    done_ = finished.get_future();
    auto outcome = outcome_;
    std::future<DWORD> id = started.get_future();
    worker_ = std::thread([call, outcome, &started, finished = std::move(finished)]() mutable {
        started.set_value(GetCurrentThreadId());
        BOOL r = call();
        *outcome = {r, GetLastError()};
        finished.set_value();
    });
    thread_ = id.get();
}

SetupCall SetupCall::Add(MONITOR &monitor, const std::string &monitorName, HWND parent) {
    return SetupCall([&monitor, monitorName, parent] {
        std::string name = monitorName;
        return monitor.pfnAddPort(nullptr, parent, &name[0]);
    });
}

SetupCall SetupCall::Configure(MONITOR &monitor, const std::string &portName, HWND parent) {
    return SetupCall([&monitor, portName, parent] {
        std::string name = portName;
        return monitor.pfnConfigurePort(nullptr, parent, &name[0]);
    });
}

SetupCall::~SetupCall() {
    if (!worker_.joinable()) return;
    // a dialog still open would hold the thread: close it as a user would
    for (int round = 0;
         round < 200 && done_.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready; ++round)
        for (int templateId : {500, 400, 401})
            if (HWND d = qvhost::WaitForDialog(templateId, thread_, 0)) qvhost::ClickButton(d, IDCANCEL);
    worker_.join();
}

HWND SetupCall::Dialog(int templateId, int timeoutMs) const {
    HWND d = qvhost::WaitForDialog(templateId, thread_, timeoutMs);
    EXPECT_TRUE(d || !timeoutMs) << "no dialog " << templateId << " came";
    return d;
}

bool SetupCall::Finished(int timeoutMs) {
    return done_.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
}

std::string SetupCall::Returned(int timeoutMs) {
    if (!Finished(timeoutMs)) return "still running";
    return (outcome_->first ? "TRUE " : "FALSE ") + std::to_string(outcome_->second);
}
