#include "wininit.h"

namespace {

const DWORD kLargestIni = 65536;  // a WININIT.INI larger than this is not ours to rewrite

struct Text {
    char *bytes;
    DWORD length, capacity;
};

bool Add(Text *t, const char *bytes, DWORD length) {
    if (t->length + length > t->capacity) return false;
    for (DWORD i = 0; i < length; ++i) t->bytes[t->length + i] = bytes[i];
    t->length += length;
    return true;
}

bool SameName(const char *a, DWORD aLength, const char *b) {
    DWORD n = (DWORD)lstrlenA(b);
    if (aLength != n) return false;
    for (DWORD i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = (char)(x - 32);
        if (y >= 'a' && y <= 'z') y = (char)(y - 32);
        if (x != y) return false;
    }
    return true;
}

// A [rename] line "LEFT=RIGHT" names the file when either side is its short name.
bool LineNames(const char *line, DWORD length, const char *shortName) {
    DWORD eq = 0;
    while (eq < length && line[eq] != '=') ++eq;
    if (eq == length) return false;
    DWORD leftEnd = eq, rightStart = eq + 1, rightEnd = length;
    while (leftEnd > 0 && line[leftEnd - 1] == ' ') --leftEnd;
    while (rightStart < rightEnd && line[rightStart] == ' ') ++rightStart;
    while (rightEnd > rightStart && (line[rightEnd - 1] == ' ' || line[rightEnd - 1] == '\r')) --rightEnd;
    DWORD leftStart = 0;
    while (leftStart < leftEnd && line[leftStart] == ' ') ++leftStart;
    return SameName(line + leftStart, leftEnd - leftStart, shortName) ||
           SameName(line + rightStart, rightEnd - rightStart, shortName);
}

bool IniPath(char *path, const char *name) {
    DWORD length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 16) return false;
    lstrcpyA(path + length, name);
    return true;
}

// Rewrites WININIT.INI without the [rename] lines that name either file, and with newLine
// (when given) at the end of that section. The whole new text is written beside it first,
// then put in its place, so a failure leaves the old file as it was.
WininitResult Rewrite(const char *first, const char *second, const char *newLine) {
    char path[MAX_PATH], scratch[MAX_PATH], aside[MAX_PATH];
    if (!IniPath(path, "\\WININIT.INI") || !IniPath(scratch, "\\WININIT.QVT") ||
        !IniPath(aside, "\\WININIT.QVO"))
        return WininitUnwritable;
    // A rewrite that stopped halfway left the file aside: it is the file.
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
        GetFileAttributesA(aside) != INVALID_FILE_ATTRIBUTES)
        MoveFileA(aside, path);
    DWORD size = 0;
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    bool existed = file != INVALID_HANDLE_VALUE;
    if (existed) size = GetFileSize(file, 0);
    if (size > kLargestIni) {
        CloseHandle(file);
        return WininitUnwritable;
    }
    int lineLength = newLine ? lstrlenA(newLine) : 0;
    char *old = (char *)GlobalAlloc(GPTR, size + 1);
    Text out = {(char *)GlobalAlloc(GPTR, size + lineLength + 32), 0, size + lineLength + 32};
    DWORD read = 0;
    bool ok = old && out.bytes && (!existed || (ReadFile(file, old, size, &read, 0) && read == size));
    if (existed) CloseHandle(file);
    bool inRename = false, placed = !newLine, changed = false;
    for (DWORD at = 0; ok && at < size;) {
        DWORD end = at;
        while (end < size && old[end] != '\n') ++end;
        DWORD next = end < size ? end + 1 : end;
        DWORD length = end - at;
        if (length > 0 && old[at] == '[') {
            if (inRename && !placed) {
                ok = Add(&out, newLine, (DWORD)lineLength);
                placed = changed = true;
            }
            inRename = length >= 8 && SameName(old + at, 8, "[rename]");
        }
        bool ours = inRename && ((first && LineNames(old + at, length, first)) ||
                                 (second && LineNames(old + at, length, second)));
        if (ours)
            changed = true;
        else
            ok = Add(&out, old + at, next - at);
        if (ok && next == size && end == size && size > 0 && !placed) ok = Add(&out, "\r\n", 2);
        at = next;
    }
    if (ok && !placed) {
        if (!inRename) ok = Add(&out, "[rename]\r\n", 10);
        ok = ok && Add(&out, newLine, (DWORD)lineLength);
        changed = true;
    }
    if (ok && changed) {
        HANDLE written = CreateFileA(scratch, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
        DWORD count = 0;
        ok = written != INVALID_HANDLE_VALUE;
        if (ok) {
            ok = WriteFile(written, out.bytes, out.length, &count, 0) && count == out.length;
            CloseHandle(written);
        }
        // The old file steps aside before the new one takes its place, and comes back if
        // that fails, so WININIT.INI is never missing.
        DeleteFileA(aside);  // an old one, with WININIT.INI in place
        ok = ok && (!existed || MoveFileA(path, aside));
        if (ok && !MoveFileA(scratch, path)) {
            if (existed) MoveFileA(aside, path);
            ok = false;
        }
        if (ok && existed) DeleteFileA(aside);
        if (!ok) DeleteFileA(scratch);
    }
    if (old) GlobalFree(old);
    if (out.bytes) GlobalFree(out.bytes);
    return ok ? WininitDone : WininitUnwritable;
}

// The file's short name, or false when it has none that fits (or does not exist).
bool ShortName(const char *path, char *name) {
    DWORD length = GetShortPathNameA(path, name, MAX_PATH);
    return length != 0 && length < MAX_PATH;  // a longer answer is the size it needs
}

}  // namespace

WininitResult ScheduleAtRestart(const char *target, const char *source) {
    char targetName[MAX_PATH], sourceName[MAX_PATH], line[2 * MAX_PATH + 8];
    if (!ShortName(source, sourceName) || (target && !ShortName(target, targetName)))
        return WininitNoShortName;
    lstrcpyA(line, target ? targetName : "NUL");
    lstrcatA(line, "=");
    lstrcatA(line, sourceName);
    lstrcatA(line, "\r\n");
    return Rewrite(target ? targetName : 0, sourceName, line);
}

WininitResult ForgetAtRestart(const char *path) {
    char name[MAX_PATH];
    if (!ShortName(path, name)) return WininitDone;  // a file that is not there has no line to take back
    return Rewrite(name, 0, 0);
}
