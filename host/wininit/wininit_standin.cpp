#include "wininit_standin.h"

#include <windows.h>

namespace {

bool Exists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Text(const std::string &path) {
    std::string text;
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) text.append(buffer, read);
    CloseHandle(file);
    return text;
}

// A drive, then names of at most eight characters with an extension of at most three, no
// spaces.
bool ShortForm(const std::string &path) {
    size_t at = path.size() > 2 && path[1] == ':' ? 2 : 0;
    while (at < path.size()) {
        if (path[at] != '\\') return false;
        size_t end = path.find('\\', at + 1);
        std::string part = path.substr(at + 1, (end == std::string::npos ? path.size() : end) - at - 1);
        size_t dot = part.find('.');
        std::string stem = part.substr(0, dot), ext = dot == std::string::npos ? "" : part.substr(dot + 1);
        if (stem.empty() || stem.size() > 8 || ext.size() > 3 || ext.find('.') != std::string::npos ||
            part.find(' ') != std::string::npos)
            return false;
        at = end == std::string::npos ? path.size() : end;
    }
    return true;
}

}  // namespace

std::string WininitPath() {
    char dir[MAX_PATH] = {0};
    GetWindowsDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\WININIT.INI";
}

std::string ApplyWininit() {
    std::string text = Text(WininitPath()), lines;
    bool inRename = false;
    for (size_t at = 0; Exists(WininitPath()) && at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inRename = lstrcmpiA(line.c_str(), "[rename]") == 0;
            continue;
        }
        size_t eq = line.find('=');
        if (!inRename || eq == std::string::npos) continue;
        std::string target = line.substr(0, eq), source = line.substr(eq + 1);
        bool deletes = lstrcmpiA(target.c_str(), "NUL") == 0;
        if ((!deletes && !ShortForm(target)) || !ShortForm(source) || !Exists(source)) continue;
        lines += line + "|";
        if (!deletes) {
            DeleteFileA(target.c_str());
            MoveFileA(source.c_str(), target.c_str());
        } else {
            DeleteFileA(source.c_str());
        }
    }
    std::string backup = WininitPath();
    backup.replace(backup.size() - 3, 3, "BAK");
    DeleteFileA(backup.c_str());
    MoveFileA(WininitPath().c_str(), backup.c_str());
    return lines;
}
