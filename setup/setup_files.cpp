#include "setup_files.h"

namespace {

void Append(char *dst, int capacity, const char *src) {
    int n = lstrlenA(dst);
    while (*src && n < capacity - 1) dst[n++] = *src++;
    dst[n] = 0;
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

bool FileExists(const char *path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool FileInUse(const char *path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return FileExists(path);
    CloseHandle(file);
    return false;
}
