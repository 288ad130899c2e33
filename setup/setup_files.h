// The files QVSETUP.EXE sets down and removes: where they are, whether two are the same,
// whether a process holds one, and their read-only attribute.
#ifndef QVSETUP_FILES_H
#define QVSETUP_FILES_H

#include <windows.h>

// The file's path in the setup program's folder, or in the system folder.
bool PathIn(bool systemFolder, const char *name, char *path);
bool FileExists(const char *path);
// A file that a process holds (the spooler's loaded DLL, a running program, a help file
// open in WinHelp): it cannot be opened with no sharing. Such a file is never overwritten
// or deleted, whatever a copy or a delete would answer, but replaced or deleted at the
// next start of Windows.
bool FileInUse(const char *path);
// Clears the read-only attribute (a file copied from a CD has it), if the file exists.
void MakeWritable(const char *path);
// Both files exist and hold the same bytes.
bool SameContents(const char *a, const char *b);

#endif
