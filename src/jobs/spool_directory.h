// The directory that holds job files, and the job numbers that name them.
#ifndef QVLMR_SPOOL_DIRECTORY_H
#define QVLMR_SPOOL_DIRECTORY_H

#include <windows.h>

#define JOB_FILE_PREFIX "QVLMR"
#define DATA_FILE_SUFFIX ".dtf"
#define CONTROL_FILE_SUFFIX ".ctf"
#define SPOOL_PATH_SIZE 264

// Writes the spool directory, ending in a backslash, into path (at least 256 bytes).
// Takes MonitorLock itself around the registry; may be called with it held.
void ResolveSpoolDirectory(char *path);
// The next job number 0..999; the caller holds MonitorLock.
DWORD NextJobNumber();
void FormatJobNumber(char *text, DWORD number);
// Deletes the job files an earlier run left in the spool directory.
void RemoveStaleJobFiles(const char *spoolDir);
// spoolDir + baseName + suffix into path (MAX_PATH); FALSE when it does not fit.
BOOL BuildJobFilePath(char *path, const char *spoolDir, const char *baseName, const char *suffix);

#endif
