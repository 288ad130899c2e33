// Kernel services: critical sections, global heap, last error, texts, names, modules.
#include "host_internal.h"

#include <dlfcn.h>
#include <pwd.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qvhost {

namespace {
std::mutex g_identityLock;
bool g_computerSet = false, g_userSet = false, g_hostSet = false;
bool g_computerFails = false, g_userFails = false, g_hostFails = false;
std::string g_computer, g_user, g_host;
std::atomic<UINT> g_codePage{1252};

std::string RealHostName() {
    char buf[256] = {0};
    if (::gethostname(buf, sizeof buf - 1) != 0) return "localhost";
    return buf;
}

// The pseudo-module that stands for the system spooler's "SPOOLSS.DLL".
char g_spoolssModule;
}  // namespace

void SetComputerName(const char *name) {
    std::lock_guard<std::mutex> lock(g_identityLock);
    g_computerSet = true;
    g_computerFails = !name;
    g_computer = name ? name : "";
}
void SetUserName(const char *name) {
    std::lock_guard<std::mutex> lock(g_identityLock);
    g_userSet = true;
    g_userFails = !name;
    g_user = name ? name : "";
}
void SetHostName(const char *name) {
    std::lock_guard<std::mutex> lock(g_identityLock);
    g_hostSet = true;
    g_hostFails = !name;
    g_host = name ? name : "";
}
void SetCodePage(UINT cp) {
    g_codePage = cp;
}
UINT CodePage() {
    return g_codePage;
}

bool HostNameFor(std::string *out) {
    std::lock_guard<std::mutex> lock(g_identityLock);
    if (g_hostSet) {
        *out = g_host;
        return !g_hostFails;
    }
    *out = RealHostName();
    return true;
}

HINSTANCE LoadModule(const std::string &path, std::string *error) {
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h && error) *error = dlerror();
    return (HINSTANCE)h;
}
void *ModuleSymbol(HINSTANCE module, const char *name) {
    // a null instance is the program itself, as for Windows' GetModuleHandle(NULL)
    return dlsym(module ? (void *)module : RTLD_DEFAULT, name);
}

}  // namespace qvhost

using namespace qvhost;

namespace {
thread_local DWORD t_lastError = 0;

// wsprintfA: %[-][0][width][.prec][l|h](d|i|u|x|X|c|s|%), 'l' meaning 32 bits as on
// Win32; output limited to 1024 characters like the original.
int FormatWs(char *out, const char *fmt, va_list ap) {
    const size_t cap = 1024;
    size_t n = 0;
    auto put = [&](char c) {
        if (n < cap) out[n++] = c;
    };
    for (const char *p = fmt; *p; ++p) {
        if (*p != '%') {
            put(*p);
            continue;
        }
        ++p;
        bool left = false, zero = false;
        for (;; ++p) {
            if (*p == '-')
                left = true;
            else if (*p == '0')
                zero = true;
            else
                break;
        }
        int width = 0, prec = -1;
        while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
        if (*p == '.') {
            prec = 0;
            ++p;
            while (*p >= '0' && *p <= '9') prec = prec * 10 + (*p++ - '0');
        }
        if (*p == 'l' || *p == 'h') ++p;
        char tmp[40];
        const char *s = tmp;
        size_t len = 0;
        switch (*p) {
            case 'd':
            case 'i': len = (size_t)snprintf(tmp, sizeof tmp, "%d", (int)va_arg(ap, int)); break;
            case 'u': len = (size_t)snprintf(tmp, sizeof tmp, "%u", (unsigned)va_arg(ap, unsigned)); break;
            case 'x': len = (size_t)snprintf(tmp, sizeof tmp, "%x", (unsigned)va_arg(ap, unsigned)); break;
            case 'X': len = (size_t)snprintf(tmp, sizeof tmp, "%X", (unsigned)va_arg(ap, unsigned)); break;
            case 'c':
                tmp[0] = (char)va_arg(ap, int);
                len = 1;
                break;
            case 's':
                s = va_arg(ap, const char *);
                if (!s) s = "(null)";
                len = strlen(s);
                if (prec >= 0 && (size_t)prec < len) len = (size_t)prec;
                break;
            case '%':
                tmp[0] = '%';
                len = 1;
                break;
            case 0:
                --p;
                len = 0;
                break;
            default:
                tmp[0] = *p;
                len = 1;
                break;
        }
        size_t pad = width > 0 && (size_t)width > len ? (size_t)width - len : 0;
        bool zeros = zero && !left && *p != 's' && *p != 'c';
        if (zeros && len && s[0] == '-') {
            put('-');  // the sign stands before the zeros
            ++s;
            --len;
        }
        if (!left)
            for (size_t i = 0; i < pad; ++i) put(zeros ? '0' : ' ');
        for (size_t i = 0; i < len; ++i) put(s[i]);
        if (left)
            for (size_t i = 0; i < pad; ++i) put(' ');
    }
    out[n] = 0;
    return (int)n;
}
}  // namespace

extern "C" {

DWORD WINAPI GetLastError(void) {
    return t_lastError;
}
void WINAPI SetLastError(DWORD code) {
    t_lastError = code;
}
BOOL WINAPI DisableThreadLibraryCalls(HMODULE) {
    return TRUE;
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    void *p = (flags & GMEM_ZEROINIT) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
    if (!p) t_lastError = ERROR_NOT_ENOUGH_MEMORY;
    return p;
}
HGLOBAL WINAPI GlobalFree(HGLOBAL mem) {
    free(mem);
    return nullptr;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    memset(cs, 0, sizeof *cs);
    cs->impl = new std::recursive_mutex;
}
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
    ((std::recursive_mutex *)cs->impl)->lock();
    cs->RecursionCount++;
}
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    cs->RecursionCount--;
    ((std::recursive_mutex *)cs->impl)->unlock();
}
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete (std::recursive_mutex *)cs->impl;
    cs->impl = nullptr;
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    if (!a) a = "";
    if (!b) b = "";
    for (;; ++a, ++b) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (x >= 'A' && x <= 'Z') x = (unsigned char)(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = (unsigned char)(y - 'A' + 'a');
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}
int WINAPI lstrlenA(LPCSTR s) {
    return s ? (int)strlen(s) : 0;
}

int wsprintfA(LPSTR out, LPCSTR format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = FormatWs(out, format, ap);
    va_end(ap);
    return n;
}

int WINAPI wvsprintfA(LPSTR out, LPCSTR format, va_list arguments) {
    return FormatWs(out, format, arguments);
}

// Letters and digits of code page 1252 (the host's ANSI code page for this test).
BOOL WINAPI IsCharAlphaNumericA(CHAR ch) {
    unsigned char c = (unsigned char)ch;
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return TRUE;
    switch (c) {
        case 0x83:
        case 0x8A:
        case 0x8C:
        case 0x8E:
        case 0x9A:
        case 0x9C:
        case 0x9E:
        case 0x9F:
        case 0xAA:
        case 0xB5:
        case 0xBA: return TRUE;
        default: return c >= 0xC0 && c != 0xD7 && c != 0xF7;
    }
}

BOOL WINAPI IsCharAlphaA(CHAR ch) {
    return IsCharAlphaNumericA(ch) && !(ch >= '0' && ch <= '9');
}

DWORD WINAPI GetCurrentThreadId(void) {
    return (DWORD)syscall(SYS_gettid);
}

BOOL WINAPI IsDBCSLeadByteEx(UINT codePage, BYTE c) {
    UINT cp = codePage == CP_ACP ? g_codePage.load() : codePage;
    if (cp == 932) return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    return FALSE;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    static const char dir[] = "C:\\WINDOWS";
    if (!buffer || size < sizeof dir) return sizeof dir;
    memcpy(buffer, dir, sizeof dir);
    return sizeof dir - 1;
}

BOOL WINAPI GetComputerNameA(LPSTR buffer, LPDWORD size) {
    std::string name;
    {
        std::lock_guard<std::mutex> lock(g_identityLock);
        if (g_computerFails) {
            t_lastError = ERROR_CALL_NOT_IMPLEMENTED;
            return FALSE;
        }
        if (g_computerSet) {
            name = g_computer;
        } else {
            name = RealHostName();
            name = name.substr(0, name.find('.')).substr(0, MAX_COMPUTERNAME_LENGTH);
            for (char &c : name)
                if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
        }
    }
    if (!size || !buffer || *size <= name.size()) {
        if (size) *size = (DWORD)name.size() + 1;
        t_lastError = 111; /* ERROR_BUFFER_OVERFLOW */
        return FALSE;
    }
    memcpy(buffer, name.c_str(), name.size() + 1);
    *size = (DWORD)name.size();
    return TRUE;
}

BOOL WINAPI GetUserNameA(LPSTR buffer, LPDWORD size) {
    std::string name;
    {
        std::lock_guard<std::mutex> lock(g_identityLock);
        if (g_userFails) {
            t_lastError = ERROR_CALL_NOT_IMPLEMENTED;
            return FALSE;
        }
        if (g_userSet) {
            name = g_user;
        } else {
            const char *env = getenv("USER");
            struct passwd *pw = getpwuid(getuid());
            name = env && *env ? env : (pw ? pw->pw_name : "user");
        }
    }
    if (!size || !buffer || *size <= name.size()) {
        if (size) *size = (DWORD)name.size() + 1;
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    memcpy(buffer, name.c_str(), name.size() + 1);
    *size = (DWORD)name.size() + 1;
    return TRUE;
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (!name) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    {
        Faults &f = TheFaults();
        std::lock_guard<std::mutex> lock(f.lock);
        for (const std::string &n : f.loadLibraryNames)
            if (Lower(name) == n) {
                t_lastError = ERROR_MOD_NOT_FOUND;
                return nullptr;
            }
    }
    if (lstrcmpiA(name, "SPOOLSS.DLL") == 0 || lstrcmpiA(name, "SPOOLSS") == 0)
        return (HMODULE)&g_spoolssModule;
    t_lastError = ERROR_MOD_NOT_FOUND;
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (module == (HMODULE)&g_spoolssModule && name && strcmp(name, "EnumPortsA") == 0)
        return (FARPROC)(void *)&EnumPortsA;
    if (module && module != (HMODULE)&g_spoolssModule && name) {
        if (void *p = dlsym((void *)module, name)) return (FARPROC)p;
    }
    t_lastError = ERROR_PROC_NOT_FOUND;
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    return module != nullptr;
}

}  // extern "C"
