// qvlmr-sink: a benchmark printer on 127.0.0.1 that reads and discards, counting the bytes
// of each data file and hashing them with SHA-256, so a fast wrong result cannot count.
// LPD (--lpd, port 515) or raw (--raw PORT); --rate limits the reading speed (bytes/s).
// One line per job on stdout: "<source port> <bytes> <sha256> <first byte> <last byte>", the
// times (CLOCK_REALTIME, ns) of the connection's first and of the data file's last byte.
#include <arpa/inet.h>
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

struct Sha256 {
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    uint8_t block[64];
    size_t used = 0;
    uint64_t total = 0;
    static uint32_t R(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
    void Compress(const uint8_t *p) {
        static const uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = (uint32_t)p[4 * i] << 24 | p[4 * i + 1] << 16 | p[4 * i + 2] << 8 | p[4 * i + 3];
        for (int i = 16; i < 64; ++i)
            w[i] = w[i - 16] + (R(w[i - 15], 7) ^ R(w[i - 15], 18) ^ (w[i - 15] >> 3)) + w[i - 7] +
                   (R(w[i - 2], 17) ^ R(w[i - 2], 19) ^ (w[i - 2] >> 10));
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t t1 = hh + (R(e, 6) ^ R(e, 11) ^ R(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            uint32_t t2 = (R(a, 2) ^ R(a, 13) ^ R(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
        h[5] += f;
        h[6] += g;
        h[7] += hh;
    }
    void Add(const uint8_t *p, size_t n) {
        total += n;
        while (n) {
            size_t take = std::min(n, 64 - used);
            memcpy(block + used, p, take);
            used += take;
            p += take;
            n -= take;
            if (used == 64) {
                Compress(block);
                used = 0;
            }
        }
    }
    std::string Hex() {
        uint64_t bits = total * 8;
        uint8_t pad = 0x80;
        Add(&pad, 1);
        uint8_t zero = 0;
        while (used != 56) Add(&zero, 1);
        uint8_t len[8];
        for (int i = 0; i < 8; ++i) len[i] = (uint8_t)(bits >> (56 - 8 * i));
        Add(len, 8);
        char out[65];
        for (int i = 0; i < 8; ++i) snprintf(out + 8 * i, 9, "%08x", h[i]);
        return out;
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
