// WININIT as Windows 9x runs it at its start, for the Wine run, which has none: the
// [rename] section of WININIT.INI in the Windows folder applied line by line in file order
// ("NUL=FILE" deletes FILE, "TARGET=SOURCE" puts SOURCE in TARGET's place), then the file
// kept as WININIT.BAK. WININIT reads short names only: a line with a long name changes
// nothing, and so does one whose source is missing.
#ifndef QVLMR_WININIT_STANDIN_H
#define QVLMR_WININIT_STANDIN_H

#include <string>

std::string WininitPath();  // WININIT.INI in the Windows folder
// Applies the section; the lines applied, each followed by '|'.
std::string ApplyWininit();

#endif
