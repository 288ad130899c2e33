#include "setup_files.h"

namespace {

const DWORD kLargestIni = 65536;  // a WININIT.INI larger than this is not ours to rewrite

void Append(char *dst, int capacity, const char *src) {
    int n = lstrlenA(dst);
    while (*src && n < capacity - 1) dst[n++] = *src++;
    dst[n] = 0;
}

// The offset just past the "[rename]" line, or -1.
int RenameSectionEnd(const char *text, DWORD length) {
    const char header[] = "[rename]";
    for (DWORD at = 0; at + 8 <= length; ++at) {
        if (at != 0 && text[at - 1] != '\n') continue;
        DWORD i = 0;
        while (i < 8 && (text[at + i] | 0x20) == (header[i] | 0x20)) ++i;
        if (i < 8) continue;
        DWORD end = at + 8;
        while (end < length && text[end] != '\n') ++end;
        return (int)(end < length ? end + 1 : end);
    }
    return -1;
}

bool Contains(const char *text, DWORD length, const char *line) {
    int n = lstrlenA(line);
    for (DWORD at = 0; at + (DWORD)n <= length; ++at) {
        int i = 0;
        while (i < n && (text[at + i] | 0x20) == (line[i] | 0x20)) ++i;
        if (i == n) return true;
    }
    return false;
}

}  // namespace

bool PathIn(bool systemFolder, const char *name, char *path) {
    if (systemFolder) {
        UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH - 16) return false;
        Append(path, MAX_PATH, "\\");
    } else {
        DWORD n = GetModuleFileNameA(0, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH - 16) return false;
        while (n > 0 && path[n - 1] != '\\') --n;
        path[n] = 0;
    }
    Append(path, MAX_PATH, name);
    return true;
}

void MakeWritable(const char *path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
}

bool SameContents(const char *a, const char *b) {
    HANDLE first = CreateFileA(a, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    HANDLE second = CreateFileA(b, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    bool same = first != INVALID_HANDLE_VALUE && second != INVALID_HANDLE_VALUE &&
                GetFileSize(first, 0) == GetFileSize(second, 0);
    char one[2048], two[2048];
    while (same) {
        DWORD readOne = 0, readTwo = 0;
        if (!ReadFile(first, one, sizeof one, &readOne, 0) ||
            !ReadFile(second, two, sizeof two, &readTwo, 0) || readOne != readTwo) {
            same = false;
            break;
        }
        if (readOne == 0) break;
        for (DWORD i = 0; i < readOne && same; ++i) same = one[i] == two[i];
    }
    if (first != INVALID_HANDLE_VALUE) CloseHandle(first);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    return same;
}

bool ScheduleAtRestart(const char *target, const char *source) {
    // "TARGET=SOURCE", or "NUL=SOURCE" to delete; each file by its short name.
    char line[2 * MAX_PATH + 8] = "NUL";
    DWORD length = target ? GetShortPathNameA(target, line, MAX_PATH) : 3;
    if (length == 0 || length >= MAX_PATH) return false;  // a longer answer is the size it needs
    Append(line, sizeof line, "=");
    int at = lstrlenA(line);
    length = GetShortPathNameA(source, line + at, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    Append(line, sizeof line, "\r\n");
    char path[MAX_PATH];
    length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 16) return false;
    Append(path, MAX_PATH, "\\WININIT.INI");
    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD size = GetFileSize(file, 0);
    const char section[] = "\r\n[rename]\r\n";
    DWORD room = size + sizeof section + sizeof line;
    char *text = size <= kLargestIni ? (char *)GlobalAlloc(GPTR, room) : 0;
    DWORD read = 0;
    bool done = text && ReadFile(file, text, size, &read, 0) && read == size;
    if (done && !Contains(text, size, line)) {
        // Windows 95 applies the section's lines in order; ours go first after its header.
        int end = RenameSectionEnd(text, size);
        DWORD insertAt = end < 0 ? size : (DWORD)end;
        const char *prefix = end < 0 ? (size == 0 ? section + 2 : section)
                             : ((DWORD)end == size && size > 0 && text[size - 1] != '\n') ? "\r\n"
                                                                                          : "";
        int prefixLength = lstrlenA(prefix), lineLength = lstrlenA(line);
        for (DWORD i = size; i > insertAt; --i) text[i - 1 + prefixLength + lineLength] = text[i - 1];
        for (int i = 0; i < prefixLength; ++i) text[insertAt + i] = prefix[i];
        for (int i = 0; i < lineLength; ++i) text[insertAt + prefixLength + i] = line[i];
        DWORD total = size + (DWORD)(prefixLength + lineLength), written = 0;
        done = SetFilePointer(file, 0, 0, FILE_BEGIN) == 0 && WriteFile(file, text, total, &written, 0) &&
               written == total && SetEndOfFile(file);
    }
    if (text) GlobalFree(text);
    CloseHandle(file);
    return done;
}
