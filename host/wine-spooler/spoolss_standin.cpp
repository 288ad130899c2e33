// SPOOLSS.DLL stand-in: its EnumPortsA is the spooler's, so the setup dialog's clash check
// sees the same ports as everything else in the process (the WINSPOOL.DRV stand-in's).
#include <windows.h>

extern "C" {

typedef BOOL(WINAPI *EnumPortsFn)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

BOOL WINAPI EnumPortsA(LPSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    HMODULE spooler = GetModuleHandleA("WINSPOOL.DRV");
    EnumPortsFn enumPorts = spooler ? (EnumPortsFn)(void *)GetProcAddress(spooler, "EnumPortsA") : nullptr;
    if (!enumPorts) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return enumPorts(name, level, buffer, size, needed, returned);
}

}  // extern "C"
