// qvlmr-sink: a benchmark printer on 127.0.0.1 that reads and discards, counting the bytes
// of each data file and hashing them with SHA-256, so a fast wrong result cannot count.
// LPD (--lpd, port 515) or raw (--raw PORT); --rate limits the reading speed (bytes/s).
// One line per job on stdout: "<source port> <bytes> <sha256> <first byte> <last byte>", the
// times (CLOCK_REALTIME, ns) of the connection's first and of the data file's last byte.
#include <arpa/inet.h>
#include <nettle/sha2.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

// SHA-256 of a data file, with nettle's.
struct Sha256 {
    sha256_ctx context;
    Sha256() { sha256_init(&context); }
    void Add(const uint8_t *data, size_t length) { sha256_update(&context, length, data); }
    std::string Hex() {
        uint8_t digest[SHA256_DIGEST_SIZE];
        sha256_digest(&context, sizeof digest, digest);
        char hex[2 * SHA256_DIGEST_SIZE + 1];
        for (int i = 0; i < SHA256_DIGEST_SIZE; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
        return hex;
    }
};

long g_rate = 0;
thread_local uint64_t t_firstByteNs = 0, t_lastByteNs = 0;

uint64_t NowNs() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

// recv that notes when bytes arrive.
long Receive(int fd, char *buf, size_t len) {
    long n = recv(fd, buf, len, 0);
    if (n > 0) {
        t_lastByteNs = NowNs();
        if (!t_firstByteNs) t_firstByteNs = t_lastByteNs;
    }
    return n;
}

long ReadSome(int fd, char *buf, size_t len) {
    if (g_rate > 0) {
        size_t slice = (size_t)std::max<long>(1, g_rate / 100);  // 10 ms worth
        len = std::min(len, slice);
        struct timespec ts = {0, 10 * 1000 * 1000};
        nanosleep(&ts, nullptr);
    }
    return Receive(fd, buf, len);
}

bool ReadLine(int fd, std::string *line) {
    line->clear();
    char c;
    while (Receive(fd, &c, 1) == 1) {
        line->push_back(c);
        if (c == '\n') return true;
    }
    return false;
}

// Reads count bytes (all until the end when count is huge) into the hash.
uint64_t Consume(int fd, uint64_t count, Sha256 *sha) {
    static thread_local char buf[1 << 16];
    uint64_t got = 0;
    while (got < count) {
        long n = ReadSome(fd, buf, (size_t)std::min<uint64_t>(sizeof buf, count - got));
        if (n <= 0) break;
        if (sha) sha->Add((uint8_t *)buf, (size_t)n);
        got += (uint64_t)n;
    }
    return got;
}

void Report(int port, uint64_t bytes, Sha256 &sha) {
    printf("%d %llu %s %llu %llu\n", port, (unsigned long long)bytes, sha.Hex().c_str(),
           (unsigned long long)t_firstByteNs, (unsigned long long)t_lastByteNs);
    fflush(stdout);
}

void ServeLpd(int fd, int port) {
    std::string line;
    if (!ReadLine(fd, &line)) return;
    send(fd, "\0", 1, MSG_NOSIGNAL);
    while (ReadLine(fd, &line)) {
        bool data = line[0] == 3;
        uint64_t count = strtoull(line.c_str() + 1, nullptr, 10);
        send(fd, "\0", 1, MSG_NOSIGNAL);
        Sha256 sha;
        uint64_t got = Consume(fd, count, data ? &sha : nullptr);
        if (data) Report(port, got, sha);
        if (got < count) return;  // streamed: the end of the connection ended the file
        char end;
        if (recv(fd, &end, 1, 0) != 1) return;
        send(fd, "\0", 1, MSG_NOSIGNAL);
    }
}

void ServeRaw(int fd, int port) {
    Sha256 sha;
    uint64_t got = Consume(fd, ~0ull, &sha);
    Report(port, got, sha);
}

}  // namespace

int main(int argc, char **argv) {
    bool lpd = false;
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--lpd") {
            lpd = true;
            port = 515;
        } else if (a == "--raw" && i + 1 < argc)
            port = atoi(argv[++i]);
        else if (a == "--rate" && i + 1 < argc)
            g_rate = atol(argv[++i]);
        else {
            fprintf(stderr, "usage: qvlmr-sink (--lpd | --raw PORT) [--rate BYTES_PER_SECOND]\n");
            return 2;
        }
    }
    if (port <= 0) return 2;
    signal(SIGPIPE, SIG_IGN);
    int s = socket(AF_INET, SOCK_STREAM, 0), on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, (sockaddr *)&a, sizeof a) || listen(s, 128)) {
        perror("qvlmr-sink");
        return 1;
    }
    for (;;) {
        sockaddr_in peer;
        socklen_t len = sizeof peer;
        int fd = accept(s, (sockaddr *)&peer, &len);
        if (fd < 0) continue;
        int from = ntohs(peer.sin_port);
        std::thread([fd, from, lpd] {
            if (lpd)
                ServeLpd(fd, from);
            else
                ServeRaw(fd, from);
            close(fd);
        }).detach();
    }
}
