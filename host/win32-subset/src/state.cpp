// The state directory and the mapping of Windows paths onto it.
#include "host_db.h"
#include "host_internal.h"

#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qvhost {

namespace {
std::string g_home;

bool MakeDirs(const std::string &path) {
    std::string cur;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!cur.empty() && mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
        if (i < path.size()) cur += path[i];
    }
    return true;
}

std::string DefaultHome() {
    if (const char *h = getenv("QVLMR_HOME"); h && *h) return h;
    if (const char *x = getenv("XDG_STATE_HOME"); x && *x) return std::string(x) + "/qvlmr";
    const char *home = getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/qvlmr";
}

// The entry of dir whose name equals want without regard to ASCII case, else want itself.
std::string MatchEntry(const std::string &dir, const std::string &want) {
    struct stat st;
    if (lstat((dir + "/" + want).c_str(), &st) == 0) return want;
    DIR *d = opendir(dir.c_str());
    if (!d) return want;
    std::string found = want;
    std::string lw = Lower(want);
    while (struct dirent *e = readdir(d)) {
        if (Lower(e->d_name) == lw) {
            found = e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}
}  // namespace

bool Open(const std::string &dir, std::string *error) {
    std::string home = dir.empty() ? DefaultHome() : dir;
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    if (!MakeDirs(home) || !MakeDirs(home + "/drive_c/WINDOWS/Spool/Printers")) {
        if (error) *error = "cannot create the state directory " + home;
        return false;
    }
    char real[4096];
    if (realpath(home.c_str(), real)) home = real;
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    g_home = home;
    return DbOpenAt(home, error);
}

const std::string &Home() {
    Db();  // make sure a state directory is chosen
    return g_home;
}

std::string MapPath(const char *windowsPath) {
    std::string p = windowsPath ? windowsPath : "";
    std::string drive = "c";
    if (p.size() >= 2 && p[1] == ':' && isalpha((unsigned char)p[0])) {
        drive = Lower(p.substr(0, 1));
        p = p.substr(2);
    }
    std::string out = Home() + "/drive_" + drive;
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i <= p.size(); ++i) {
        if (i == p.size() || p[i] == '\\' || p[i] == '/') {
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += p[i];
        }
    }
    for (const std::string &c : parts) out += "/" + MatchEntry(out, c);
    return out;
}

}  // namespace qvhost
