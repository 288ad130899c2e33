// Files (KERNEL32) on the state directory: job files, the spool directory, file search.
#include "host_internal.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

namespace qvhost {
namespace {

const uint32_t kFileMagic = 0x454c4946, kFindMagic = 0x444e4946;
struct FileObj {
    uint32_t magic;
    int fd;
    std::string path;
    bool deleteOnClose;
    DWORD share;
    long long written;
    long long writeLimit;  // -1: none
};
struct FindObj {
    uint32_t magic;
    std::vector<std::pair<std::string, struct stat>> entries;
    size_t next;
};

std::mutex g_openLock;
std::multimap<std::string, FileObj *> g_open;  // by path, for share modes

DWORD ErrnoToWin(int e) {
    switch (e) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EEXIST: return ERROR_FILE_EXISTS;
        case ENOSPC: return ERROR_DISK_FULL;
        case EDQUOT: return ERROR_DISK_FULL;
        case EBADF: return ERROR_INVALID_HANDLE;
        default: return ERROR_ACCESS_DENIED;
    }
}

FileObj *AsFile(HANDLE h) {
    if (!h || h == INVALID_HANDLE_VALUE) return nullptr;
    FileObj *f = (FileObj *)h;
    return f->magic == kFileMagic ? f : nullptr;
}

// One segment of a DOS wildcard match: '?' takes one character, or none at the segment's end.
bool MatchSegment(const char *pat, const char *name) {
    if (!*pat) return !*name;
    if (*pat == '*') {
        for (const char *n = name;; ++n) {
            if (MatchSegment(pat + 1, n)) return true;
            if (!*n) return false;
        }
    }
    if (*pat == '?') {
        if (!*name) return MatchSegment(pat + 1, name);
        return MatchSegment(pat + 1, name + 1);
    }
    if (!*name) return false;
    char a = *pat, b = *name;
    if (a >= 'A' && a <= 'Z') a = (char)(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = (char)(b - 'A' + 'a');
    return a == b && MatchSegment(pat + 1, name + 1);
}

}  // namespace

bool MatchDosPattern(const std::string &pattern, const std::string &name) {
    if (pattern == "*" || pattern == "*.*") return true;
    size_t pd = pattern.rfind('.');
    if (pd == std::string::npos) return MatchSegment(pattern.c_str(), name.c_str());
    size_t nd = name.rfind('.');
    std::string stem = nd == std::string::npos ? name : name.substr(0, nd);
    std::string ext = nd == std::string::npos ? "" : name.substr(nd + 1);
    return MatchSegment(pattern.substr(0, pd).c_str(), stem.c_str()) &&
           MatchSegment(pattern.substr(pd + 1).c_str(), ext.c_str());
}

}  // namespace qvhost

using namespace qvhost;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flags, HANDLE) {
    if (!name || !*name) return Failed(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    {
        Faults &f = TheFaults();
        std::lock_guard<std::mutex> lock(f.lock);
        std::string lower = Lower(name);
        for (const std::string &s : f.fileCreateSubstrings)
            if (lower.find(s) != std::string::npos) return Failed(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    std::string path = MapPath(name);
    int oflags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        oflags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        oflags |= O_WRONLY;
    else
        oflags |= O_RDONLY;
    switch (disposition) {
        case CREATE_NEW: oflags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: oflags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: oflags |= O_CREAT; break;
        case TRUNCATE_EXISTING: oflags |= O_TRUNC; break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    bool existed = stat(path.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) return Failed(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    std::lock_guard<std::mutex> lock(g_openLock);
    auto range = g_open.equal_range(path);
    for (auto it = range.first; it != range.second; ++it) {
        DWORD theirs = it->second->share;
        bool wantWrite = access & GENERIC_WRITE, wantRead = access & GENERIC_READ;
        if ((wantWrite && !(theirs & FILE_SHARE_WRITE)) || (wantRead && !(theirs & FILE_SHARE_READ)) ||
            share == 0) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
    }
    int fd = open(path.c_str(), oflags, 0644);
    if (fd < 0) {
        DWORD e = ErrnoToWin(errno);
        if (errno == ENOENT && disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING)
            e = ERROR_PATH_NOT_FOUND;
        SetLastError(e);
        return INVALID_HANDLE_VALUE;
    }
    long long limit = -1;
    {
        Faults &f = TheFaults();
        std::lock_guard<std::mutex> flock(f.lock);
        std::string lower = Lower(name);
        for (auto &l : f.fileWriteLimits)
            if (lower.find(l.first) != std::string::npos) limit = l.second;
    }
    FileObj *f = new FileObj{kFileMagic, fd, path, (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0, share, 0, limit};
    g_open.insert({path, f});
    g_openFiles++;
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                     ? ERROR_ALREADY_EXISTS
                     : ERROR_SUCCESS);
    return (HANDLE)f;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    FileObj *f = AsFile(file);
    if (read) *read = 0;
    if (!f || (!buffer && toRead)) return Failed(ERROR_INVALID_HANDLE, FALSE);
    ssize_t n;
    do n = ::read(f->fd, buffer, toRead);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        SetLastError(ErrnoToWin(errno));
        return FALSE;
    }
    if (read) *read = (DWORD)n;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
    FileObj *f = AsFile(file);
    if (written) *written = 0;
    if (!f || (!buffer && toWrite)) return Failed(ERROR_INVALID_HANDLE, FALSE);
    DWORD allowed = toWrite;
    if (f->writeLimit >= 0 && f->written + toWrite > f->writeLimit)
        allowed = (DWORD)(f->writeLimit > f->written ? f->writeLimit - f->written : 0);
    DWORD done = 0;
    while (done < allowed) {
        ssize_t n = ::write(f->fd, (const char *)buffer + done, allowed - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetLastError(ErrnoToWin(errno));
            if (written) *written = done;
            f->written += done;
            return FALSE;
        }
        done += (DWORD)n;
    }
    f->written += done;
    if (written) *written = done;
    if (allowed < toWrite) return Failed(ERROR_DISK_FULL, FALSE);
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE file) {
    FileObj *f = AsFile(file);
    if (!f) return Failed(ERROR_INVALID_HANDLE, FALSE);
    fdatasync(f->fd);
    return TRUE;
}

BOOL WINAPI SetEndOfFile(HANDLE file) {
    FileObj *f = AsFile(file);
    if (!f) return Failed(ERROR_INVALID_HANDLE, FALSE);
    off_t pos = lseek(f->fd, 0, SEEK_CUR);
    if (pos < 0 || ftruncate(f->fd, pos) != 0) {
        SetLastError(ErrnoToWin(errno));
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD high) {
    FileObj *f = AsFile(file);
    struct stat st;
    if (!f || fstat(f->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    if (high) *high = (DWORD)((unsigned long long)st.st_size >> 32);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)(st.st_size & 0xFFFFFFFF);
}

// Windows 95 has no 64-bit positions in its files' APIs beyond the high part given here.
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    FileObj *f = AsFile(file);
    if (!f || method > FILE_END) {
        SetLastError(f ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    long long offset =
        distanceHigh ? ((long long)*distanceHigh << 32) | (DWORD)distance : (long long)distance;
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t at = lseek(f->fd, (off_t)offset, whence);
    if (at < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = (LONG)((unsigned long long)at >> 32);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)(at & 0xFFFFFFFF);
}

BOOL WINAPI CloseHandle(HANDLE object) {
    FileObj *f = AsFile(object);
    if (!f) return Failed(ERROR_INVALID_HANDLE, FALSE);
    std::lock_guard<std::mutex> lock(g_openLock);
    auto range = g_open.equal_range(f->path);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == f) {
            g_open.erase(it);
            break;
        }
    close(f->fd);
    if (f->deleteOnClose) unlink(f->path.c_str());
    f->magic = 0;
    delete f;
    g_openFiles--;
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
    if (!name) return Failed(ERROR_INVALID_PARAMETER, FALSE);
    std::string path = MapPath(name);
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Failed(ERROR_ACCESS_DENIED, FALSE);
    if (unlink(path.c_str()) != 0) {
        SetLastError(ErrnoToWin(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
    if (!name || !*name) return Failed(ERROR_PATH_NOT_FOUND, FALSE);
    std::string path = MapPath(name);
    if (mkdir(path.c_str(), 0755) != 0) {
        SetLastError(errno == EEXIST   ? ERROR_ALREADY_EXISTS
                     : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                       : ErrnoToWin(errno));
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    if (!pattern || !data) return Failed(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::string p = pattern;
    size_t cut = p.find_last_of("\\/:");
    std::string dirPart = cut == std::string::npos ? "" : p.substr(0, cut + 1);
    std::string namePart = cut == std::string::npos ? p : p.substr(cut + 1);
    std::string dir = MapPath(dirPart.c_str());
    DIR *d = opendir(dir.c_str());
    if (!d) return Failed(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    FindObj *f = new FindObj{kFindMagic, {}, 0};
    while (struct dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() >= MAX_PATH) continue;
        if (!MatchDosPattern(namePart, n)) continue;
        struct stat st;
        if (stat((dir + "/" + n).c_str(), &st) != 0) continue;
        f->entries.push_back({n, st});
    }
    closedir(d);
    if (f->entries.empty()) {
        delete f;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    g_openFiles++;
    FindNextFileA((HANDLE)f, data);
    return (HANDLE)f;
}

BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
    FindObj *f = (FindObj *)find;
    if (!f || find == INVALID_HANDLE_VALUE || f->magic != kFindMagic || !data)
        return Failed(ERROR_INVALID_HANDLE, FALSE);
    if (f->next >= f->entries.size()) return Failed(ERROR_NO_MORE_FILES, FALSE);
    auto &e = f->entries[f->next++];
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = S_ISDIR(e.second.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    data->nFileSizeLow = (DWORD)(e.second.st_size & 0xFFFFFFFF);
    data->nFileSizeHigh = (DWORD)((unsigned long long)e.second.st_size >> 32);
    memcpy(data->cFileName, e.first.c_str(), e.first.size() + 1);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE find) {
    FindObj *f = (FindObj *)find;
    if (!f || find == INVALID_HANDLE_VALUE || f->magic != kFindMagic)
        return Failed(ERROR_INVALID_HANDLE, FALSE);
    f->magic = 0;
    delete f;
    g_openFiles--;
    return TRUE;
}

}  // extern "C"
