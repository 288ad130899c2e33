// qvlmr-printer: a printer on 127.0.0.1 that keeps what it receives, for demonstrations
// and manual tests. LPD jobs are stored as job-N.cf (control file) and job-N.df (data);
// raw connections as job-N.raw.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "test_printer.h"

namespace {
volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

int Usage() {
    fprintf(stderr,
            "usage: qvlmr-printer (--lpd | --raw) [--port N] --dir DIR [--count N] [--rate BYTES] [--queue "
            "NAME]\n"
            "  --queue: an LPD printer with this one queue, refusing any other (answer 1)\n"
            "  --rate: read at most BYTES a second, as a slow printer does\n");
    return 2;
}

void Save(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}
}  // namespace

int main(int argc, char **argv) {
    bool lpd = false, raw = false;
    int port = 0;
    long count = 0, rate = 0;
    std::string dir, queue;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--lpd")
            lpd = true;
        else if (a == "--raw")
            raw = true;
        else if (a == "--port" && i + 1 < argc)
            port = atoi(argv[++i]);
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--count" && i + 1 < argc)
            count = atol(argv[++i]);
        else if (a == "--rate" && i + 1 < argc)
            rate = atol(argv[++i]);
        else if (a == "--queue" && i + 1 < argc && argv[i + 1][0])
            queue = argv[++i];
        else
            return Usage();
    }
    if (lpd == raw || dir.empty() || port < 0 || port > 65535 || count < 0 || rate < 0) return Usage();
    if (port == 0) port = lpd ? 515 : 9100;
    TestPrinter printer;
    Pace pace;
    pace.bytesPerSecond = (size_t)rate;
    printer.SetPace(pace);
    printer.SetQueue(queue);
    if (!printer.Start(port, lpd)) {
        fprintf(stderr, "qvlmr-printer: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    fprintf(stderr, "qvlmr-printer: %s printer on 127.0.0.1:%d, keeping jobs in %s\n", lpd ? "LPD" : "raw",
            port, dir.c_str());
    size_t saved = 0;
    while (!g_stop && (count == 0 || (long)saved < count)) {
        if (!printer.WaitForConversations(saved + 1, 200)) continue;
        // Each job once its own connection has ended, whole: with overlapping connections
        // one that began earlier may still be receiving.
        std::vector<Conversation> all = printer.EndedConversations();
        while (saved < all.size()) {
            const Conversation &c = all[saved++];
            std::string base = dir + "/job-" + std::to_string(saved);
            if (lpd) {
                Save(base + ".cf", c.controlFile);
                Save(base + ".df", c.dataFile);
            } else {
                Save(base + ".raw", c.dataFile);
            }
            fprintf(stderr, "qvlmr-printer: job %zu from port %d: %zu data bytes%s (queue '%s')\n", saved,
                    c.sourcePort, c.dataFile.size(), c.complete ? "" : ", incomplete", c.queue.c_str());
        }
    }
    printer.Stop();
    return 0;
}
