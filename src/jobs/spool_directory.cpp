#include "spool_directory.h"

#include "../config/settings.h"
#include "../monitor/monitor_state.h"
#include "../monitor/text.h"

namespace {

const int kMaxConfiguredLength = 230;  // leaves room for the 8.3 job file names

void DefaultSpoolDirectory(char *path) {
    char windows[MAX_PATH + 1];
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        CopyText(path, REGISTRY_TEXT_SIZE, "\\");
        return;
    }
    windows[length] = 0;
    CopyText(path, REGISTRY_TEXT_SIZE, windows);
    if (!AppendText(path, REGISTRY_TEXT_SIZE, "\\Spool\\Printers\\"))
        CopyText(path, REGISTRY_TEXT_SIZE, "\\");
}

BOOL ProbeDirectory(const char *dir) {
    char probe[MAX_PATH];
    CopyText(probe, sizeof probe, dir);
    if (!AppendText(probe, sizeof probe, JOB_FILE_PREFIX "DIR.ckf")) return FALSE;
    HANDLE file = CreateFileA(probe, GENERIC_WRITE, 0, 0, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, 0);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    CloseHandle(file);
    return TRUE;
}

}  // namespace

void ResolveSpoolDirectory(char *path) {
    char defaultDir[REGISTRY_TEXT_SIZE];
    DefaultSpoolDirectory(defaultDir);

    char configured[REGISTRY_TEXT_SIZE];
    EnterMonitorLock();
    configured[0] = 0;
    LONG read = ReadSpoolDirSetting(configured);
    if (read != 0) {
        configured[0] = 0;
        ClearSpoolDirSetting();
    }
    LeaveMonitorLock();

    int length = TextLength(configured);
    if (read != 0 || length == 0 || length > kMaxConfiguredLength) {
        CopyText(path, REGISTRY_TEXT_SIZE, defaultDir);
        return;
    }
    if (TextEquals(configured, "\\") || TextEquals(configured, "\\\\")) {
        CopyText(path, REGISTRY_TEXT_SIZE, "\\");
        return;
    }
    if (configured[length - 1] != '\\') AppendText(configured, sizeof configured, "\\");
    if (ProbeDirectory(configured) || CreateDirectoryA(configured, 0)) {
        CopyText(path, REGISTRY_TEXT_SIZE, configured);
        return;
    }
    CopyText(path, REGISTRY_TEXT_SIZE, defaultDir);
}

DWORD NextJobNumber() {
    DWORD last = 0, number = 0;
    if (ReadCounter(&JobNumberCounter, &last)) {
        number = last + 1;
        if (number >= 1000) number = 0;
    }
    StoreCounter(&JobNumberCounter, number);
    return number;
}

void FormatJobNumber(char *text, DWORD number) {
    FormatDecimal(text, 4, number, 3);
}

BOOL BuildJobFilePath(char *path, const char *spoolDir, const char *baseName, const char *suffix) {
    path[0] = 0;
    return AppendText(path, MAX_PATH, spoolDir) && AppendText(path, MAX_PATH, baseName) &&
           AppendText(path, MAX_PATH, suffix);
}

void RemoveStaleJobFiles(const char *spoolDir) {
    char pattern[SPOOL_PATH_SIZE + 16];
    CopyText(pattern, sizeof pattern, spoolDir);
    if (!AppendText(pattern, sizeof pattern, JOB_FILE_PREFIX "???.??f")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        char path[SPOOL_PATH_SIZE + MAX_PATH];
        CopyText(path, sizeof path, spoolDir);
        found.cFileName[MAX_PATH - 1] = 0;
        if (AppendText(path, sizeof path, found.cFileName)) DeleteFileA(path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
