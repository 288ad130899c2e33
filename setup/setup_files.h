// The files QVSETUP.EXE sets down and removes: where they are, whether two are the same,
// their read-only attribute, and WININIT.INI's [rename] section for files in use.
#ifndef QVSETUP_FILES_H
#define QVSETUP_FILES_H

#include <windows.h>

// The file's path in the setup program's folder, or in the system folder.
bool PathIn(bool systemFolder, const char *name, char *path);
// Clears the read-only attribute (a file copied from a CD has it), if the file exists.
void MakeWritable(const char *path);
// Both files exist and hold the same bytes.
bool SameContents(const char *a, const char *b);
// At the next start of Windows: target replaced by source, or (target null) source deleted.
// Written as short names, which is all WININIT reads; false when it could not be written.
bool ScheduleAtRestart(const char *target, const char *source);
// Takes back a deletion at the next start that an earlier removal scheduled for path.
void CancelDeleteAtRestart(const char *path);

#endif
