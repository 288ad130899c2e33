#include "trace.h"

#include <stdarg.h>

#include "../config/settings.h"
#include "text.h"

namespace {

CRITICAL_SECTION TraceLock;

// wsprintf writes at most 1024 characters; the prefix and line end come on top.
const int kMessageSize = 1025;
const int kLineSize = kMessageSize + TEXT_FIELD_SIZE + 64;

BOOL TracePath(char *path) {
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    path[length] = 0;
    return AppendText(path, MAX_PATH, "\\" TRACE_FILE_NAME);
}

// "YYYY-MM-DD HH:MM:SS.mmm " into line.
void FormatTime(char *line) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", (unsigned)now.wYear, (unsigned)now.wMonth,
              (unsigned)now.wDay, (unsigned)now.wHour, (unsigned)now.wMinute, (unsigned)now.wSecond,
              (unsigned)now.wMilliseconds);
}

// Keeps the newer half of a full file, from its first whole line on.
void DropOlderHalf(HANDLE file, DWORD size) {
    const DWORD keep = TRACE_FILE_LIMIT / 2;
    char *kept = (char *)AllocZeroed(keep);
    if (!kept) return;
    DWORD read = 0;
    if (SetFilePointer(file, (LONG)(size - keep), 0, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
        ReadFile(file, kept, keep, &read, 0)) {
        DWORD start = 0;
        while (start < read && kept[start] != '\n') ++start;
        if (start < read) ++start;
        DWORD written = 0;
        if (SetFilePointer(file, 0, 0, FILE_BEGIN) == 0) {
            WriteFile(file, kept + start, read - start, &written, 0);
            SetEndOfFile(file);
        }
    }
    FreeBlock(kept);
}

void AppendLine(const char *line, DWORD length) {
    char path[MAX_PATH];
    if (!TracePath(path)) return;
    EnterCriticalSection(&TraceLock);
    // Shared both ways, so a user can read the file while jobs print.
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD high = 0;
        DWORD size = GetFileSize(file, &high);
        if (size != INVALID_FILE_SIZE && (high != 0 || size + length > TRACE_FILE_LIMIT))
            DropOlderHalf(file, high != 0 ? TRACE_FILE_LIMIT : size);
        DWORD written = 0;
        if (SetFilePointer(file, 0, 0, FILE_END) != INVALID_SET_FILE_POINTER)
            WriteFile(file, line, length, &written, 0);
        CloseHandle(file);
    }
    LeaveCriticalSection(&TraceLock);
}

void WriteTrace(PortRecord *record, DWORD jobId, const char *format, va_list arguments) {
    DWORD lastError = GetLastError();
    char message[kMessageSize];
    wvsprintfA(message, format, arguments);
    char line[kLineSize];
    FormatTime(line);
    AppendText(line, kLineSize, record->portName);
    char job[24];
    if (jobId)
        wsprintfA(job, " job %lu: ", (unsigned long)jobId);
    else
        CopyText(job, sizeof job, ": ");
    AppendText(line, kLineSize, job);
    AppendText(line, kLineSize, message);
    AppendText(line, kLineSize, "\r\n");
    AppendLine(line, (DWORD)TextLength(line));
    // Tracing must not change what the caller reports to the spooler.
    SetLastError(lastError);
}

}  // namespace

void InitTrace() {
    InitializeCriticalSection(&TraceLock);
}

void ReadTraceSwitch(PortRecord *record) {
    DWORD on = 0;
    if (ReadTraceSetting(&on) != 0) on = 0;
    record->traceOn = on != 0;
}

void Trace(PortRecord *record, const char *format, ...) {
    if (!record->traceOn) return;
    va_list arguments;
    va_start(arguments, format);
    WriteTrace(record, record->jobId, format, arguments);
    va_end(arguments);
}

void TraceForJob(PortRecord *record, DWORD jobId, const char *format, ...) {
    if (!record->traceOn) return;
    va_list arguments;
    va_start(arguments, format);
    WriteTrace(record, jobId, format, arguments);
    va_end(arguments);
}
