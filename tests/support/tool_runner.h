// Runs the qvlmr command line as a separate process, as a user would.
#ifndef QVLMR_TEST_TOOL_RUNNER_H
#define QVLMR_TEST_TOOL_RUNNER_H

#include <sys/types.h>

#include <string>
#include <vector>

struct ToolResult {
    int status = -1;  // exit status
    std::string out, err;
};

struct ToolProcess {
    pid_t pid = -1;
    int outFd = -1, errFd = -1;
};
// Starts the tool with the given standard input.
ToolProcess StartTool(const std::string &home, const std::vector<std::string> &args,
                      const std::string &input = "");
// Waits for the process and collects its output.
ToolResult FinishTool(ToolProcess &p);
// Runs the tool to completion.
ToolResult RunTool(const std::string &home, const std::vector<std::string> &args,
                   const std::string &input = "");

#endif
