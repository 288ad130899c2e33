#include "tool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

// Everything the child needs is built before fork: another thread may hold the allocator's
// lock at that moment, so the child must not allocate before exec.
pid_t Spawn(const std::string &home, const std::vector<std::string> &args, int in, int out, int err) {
    std::vector<std::string> all = {QVLMR_TOOL_PATH, "--home", home};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// What can be read now.
void Drain(int fd, std::string *to) {
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) to->append(buf, (size_t)n);
}

}  // namespace

ToolProcess StartTool(const std::string &home, const std::vector<std::string> &args,
                      const std::string &input) {
    int in[2], out[2] = {-1, -1}, err[2];
    ToolProcess p;
    if (pipe2(in, O_CLOEXEC)) return p;
    if (pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
        for (int fd : {in[0], in[1], out[0], out[1]})
            close(fd);  // an output pair made before the failure too
        return p;
    }
    p.pid = Spawn(home, args, in[0], out[1], err[1]);
    for (int fd : {in[0], out[1], err[1]}) close(fd);
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0) {
    }
    close(in[1]);
    p.outFd = out[0];
    p.errFd = err[0];
    fcntl(p.outFd, F_SETFL, O_NONBLOCK);
    fcntl(p.errFd, F_SETFL, O_NONBLOCK);
    return p;
}

ToolResult FinishTool(ToolProcess &p) {
    ToolResult r;
    if (p.pid <= 0) {  // it never started; its pipes may have been made
        for (int fd : {p.outFd, p.errFd})
            if (fd >= 0) close(fd);
        return r;
    }
    int status = 0;
    // Output is read while waiting, so a talkative tool never blocks on a full pipe; one that
    // does not end within 30 s is stopped, so a test fails instead of hanging.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waitpid(p.pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) kill(p.pid, SIGKILL);
        pollfd fds[2] = {{p.outFd, POLLIN, 0}, {p.errFd, POLLIN, 0}};
        poll(fds, 2, 10);
        Drain(p.outFd, &r.out);
        Drain(p.errFd, &r.err);
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    Drain(p.outFd, &r.out);
    Drain(p.errFd, &r.err);
    close(p.outFd);
    close(p.errFd);
    return r;
}

ToolResult RunTool(const std::string &home, const std::vector<std::string> &args, const std::string &input) {
    ToolProcess p = StartTool(home, args, input);
    return FinishTool(p);
}
