#include "port_setup.h"

// The setup dialog is not built yet: both commands refuse, so the spooler reports the
// failure instead of believing a port was added or changed.
BOOL WINAPI AddPort(LPSTR, HWND, LPSTR) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL WINAPI ConfigurePort(LPSTR, HWND, LPSTR) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}
