// WININIT.INI's [rename] section, which Windows 9x applies at its next start, line by line in
// file order: "TARGET=SOURCE" puts SOURCE in TARGET's place, "NUL=SOURCE" deletes SOURCE.
// Files are written by short name, all that WININIT reads. A file of ours has at most one
// line there, so the order of lines never undoes what the user was told; every other line
// of the file stays as it was.
#ifndef QVSETUP_WININIT_H
#define QVSETUP_WININIT_H

#include <windows.h>

enum WininitResult {
    WininitDone,
    WininitUnwritable,  // WININIT.INI could not be read or written
    WininitNoShortName  // a file has no short name that fits
};

// At the next start: target replaced by source, or (target null) source deleted. The lines
// that named either file before go first.
WininitResult ScheduleAtRestart(const char *target, const char *source);
// Takes out every line that names the file (as the one replaced, the one put in its place
// or the one deleted). Nothing to do is done.
WininitResult ForgetAtRestart(const char *path);

#endif
