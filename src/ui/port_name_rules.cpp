#include "port_name_rules.h"

#include <winspool.h>

#include "../monitor/port_record.h"
#include "../monitor/text.h"

namespace {

typedef BOOL(WINAPI *EnumPortsFn)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);

// Set on first use and kept for the life of the module.
HMODULE spoolerModule;
EnumPortsFn spoolerEnumPorts;

BOOL IsExtra(char c, const char *extra) {
    for (; extra && *extra; ++extra)
        if (*extra == c) return TRUE;
    return FALSE;
}

// lstrcmpiA of the first count bytes of a and b (both at least count bytes long).
BOOL PrefixesEqual(const char *a, const char *b, int count) {
    char *left = (char *)AllocZeroed((DWORD)count + 1);
    char *right = (char *)AllocZeroed((DWORD)count + 1);
    BOOL equal = FALSE;
    if (left && right) {
        CopyBytes(left, a, (DWORD)count);
        CopyBytes(right, b, (DWORD)count);
        equal = lstrcmpiA(left, right) == 0;
    }
    FreeBlock(left);
    FreeBlock(right);
    return equal;
}

}  // namespace

BOOL HasOnlyAllowedChars(const char *text, const char *extra) {
    if (!text) return TRUE;
    for (const char *p = text; *p; ++p)
        if (!IsCharAlphaNumericA(*p) && !IsExtra(*p, extra)) return FALSE;
    return TRUE;
}

BOOL HasBackslash(const char *text) {
    for (int i = 0; text[i];) {
        if (IsDBCSLeadByteEx(CP_ACP, (BYTE)text[i])) {
            i += text[i + 1] ? 2 : 1;  // the trail byte may be anything, a backslash included
            continue;
        }
        if (text[i] == '\\') return TRUE;
        ++i;
    }
    return FALSE;
}

BOOL IsValidPortNameText(const char *text) {
    if (!text) return TRUE;
    return TextLength(text) <= MAX_PORT_NAME_TEXT && !HasBackslash(text);
}

int CheckPortNameClash(LPSTR serverName, const char *candidate, DWORD *loadError) {
    if (loadError) *loadError = 0;
    if (!spoolerModule) {
        HMODULE module = LoadLibraryA("SPOOLSS.DLL");
        if (!module) {
            if (loadError) *loadError = GetLastError();
        } else {
            EnumPortsFn entry = (EnumPortsFn)(void *)GetProcAddress(module, "EnumPortsA");
            if (!entry) {
                if (loadError) *loadError = GetLastError();
                FreeLibrary(module);
            } else {
                spoolerModule = module;
                spoolerEnumPorts = entry;
            }
        }
    }
    if (!spoolerEnumPorts) return CLASH_NONE;
    DWORD needed = 0, count = 0;
    if (spoolerEnumPorts(serverName, 1, 0, 0, &needed, &count)) return CLASH_NONE;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return CLASH_SAME_NAME;
    LPBYTE buffer = (LPBYTE)AllocZeroed(needed);
    if (!buffer || !spoolerEnumPorts(serverName, 1, buffer, needed, &needed, &count)) {
        FreeBlock(buffer);
        return CLASH_SAME_NAME;
    }
    int result = CLASH_NONE;
    int a = TextLength(candidate);
    PORT_INFO_1A *ports = (PORT_INFO_1A *)buffer;
    for (DWORD i = 0; i < count; ++i) {
        const char *existing = ports[i].pName ? ports[i].pName : "";
        int b = TextLength(existing);
        int common = a < b ? a : b;
        if (PrefixesEqual(candidate ? candidate : "", existing, common)) {
            result = a == b ? CLASH_SAME_NAME : CLASH_PREFIX;
            break;
        }
    }
    FreeBlock(buffer);
    return result;
}
