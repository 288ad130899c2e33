// The rules a new port's name, address and queue must pass, and the clash check against
// every port the spooler knows (all monitors').
#ifndef QVLMR_PORT_NAME_RULES_H
#define QVLMR_PORT_NAME_RULES_H

#include <windows.h>

#define ALLOWED_SYMBOLS "!#$@%&'()-.^_{}~"
#define MAX_PORT_NAME_TEXT 128
#define MAX_PORT_NAME_LENGTH 40

#define CLASH_NONE 0
#define CLASH_SAME_NAME 1
#define CLASH_PREFIX 2

BOOL HasOnlyAllowedChars(const char *text, const char *extra);
// A backslash outside double-byte characters (whose trail byte may be one).
BOOL HasBackslash(const char *text);
BOOL IsValidPortNameText(const char *text);
// 0, 1 (same name) or 2 (one name a prefix of the other); *loadError is the system error
// when the spooler's EnumPortsA could not be had (the result is then 0).
int CheckPortNameClash(LPSTR serverName, const char *candidate, DWORD *loadError);

#endif
