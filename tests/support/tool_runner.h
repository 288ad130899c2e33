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

// Runs the tool to completion with the given standard input.
ToolResult RunTool(const std::string &home, const std::vector<std::string> &args,
                   const std::string &input = "");

// Runs the tool with a terminal as its standard output and error; everything it wrote to
// the terminal comes back in out.
ToolResult RunToolOnTerminal(const std::string &home, const std::vector<std::string> &args);

struct ToolProcess {
    pid_t pid = -1;
    int outFd = -1, errFd = -1;
};
ToolProcess StartTool(const std::string &home, const std::vector<std::string> &args,
                      const std::string &input = "");
// Waits for the process (killing it first when kill is set) and collects its output.
ToolResult FinishTool(ToolProcess &p, bool kill = false);

#endif
