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

// Where line stands in text (letter case aside), or -1.
long Find(const char *text, DWORD length, const char *line) {
    int n = lstrlenA(line);
    for (DWORD at = 0; at + (DWORD)n <= length; ++at) {
        int i = 0;
        while (i < n && (text[at + i] | 0x20) == (line[i] | 0x20)) ++i;
        if (i == n) return (long)at;
    }
    return -1;
}

// "TARGET=SOURCE\r\n", or "NUL=SOURCE\r\n" (target null), each file by its short name, which
// is all WININIT reads; false when a name does not fit.
bool RenameLine(const char *target, const char *source, char *line, int capacity) {
    line[0] = 0;
    Append(line, capacity, "NUL");
    DWORD length = target ? GetShortPathNameA(target, line, MAX_PATH) : 3;
    if (length == 0 || length >= MAX_PATH) return false;  // a longer answer is the size it needs
    Append(line, capacity, "=");
    int at = lstrlenA(line);
    length = GetShortPathNameA(source, line + at, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    Append(line, capacity, "\r\n");
    return true;
}

// Adds line to WININIT.INI's [rename] section (once), or takes it out; false when the file
// could not be read or written.
bool EditWininit(const char *line, bool add) {
    char path[MAX_PATH];
    DWORD length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 16) return false;
    Append(path, MAX_PATH, "\\WININIT.INI");
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, 0, add ? OPEN_ALWAYS : OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return !add;
    DWORD size = GetFileSize(file, 0);
    const char section[] = "\r\n[rename]\r\n";
    int lineLength = lstrlenA(line);
    DWORD room = size + sizeof section + (DWORD)lineLength + 1;
    char *text = size <= kLargestIni ? (char *)GlobalAlloc(GPTR, room) : 0;
    DWORD read = 0;
    bool done = text && ReadFile(file, text, size, &read, 0) && read == size;
    long found = done ? Find(text, size, line) : -1;
    DWORD total = size;
    if (done && add && found < 0) {
        // Windows 95 applies the section's lines in order; ours go first after its header.
        int end = RenameSectionEnd(text, size);
        DWORD insertAt = end < 0 ? size : (DWORD)end;
        const char *prefix = end < 0 ? (size == 0 ? section + 2 : section)
                             : ((DWORD)end == size && size > 0 && text[size - 1] != '\n') ? "\r\n"
                                                                                          : "";
        int prefixLength = lstrlenA(prefix);
        for (DWORD i = size; i > insertAt; --i) text[i - 1 + prefixLength + lineLength] = text[i - 1];
        for (int i = 0; i < prefixLength; ++i) text[insertAt + i] = prefix[i];
        for (int i = 0; i < lineLength; ++i) text[insertAt + prefixLength + i] = line[i];
        total = size + (DWORD)(prefixLength + lineLength);
    } else if (done && !add && found >= 0) {
        for (DWORD i = (DWORD)found + (DWORD)lineLength; i < size; ++i) text[i - lineLength] = text[i];
        total = size - (DWORD)lineLength;
    }
    if (done && total != size) {
        DWORD written = 0;
        done = SetFilePointer(file, 0, 0, FILE_BEGIN) == 0 && WriteFile(file, text, total, &written, 0) &&
               written == total && SetEndOfFile(file);
    }
    if (text) GlobalFree(text);
    CloseHandle(file);
    return done;
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
    char line[2 * MAX_PATH + 8];
    return RenameLine(target, source, line, sizeof line) && EditWininit(line, true);
}

void CancelDeleteAtRestart(const char *path) {
    char line[2 * MAX_PATH + 8];
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES && RenameLine(0, path, line, sizeof line))
        EditWininit(line, false);
}
