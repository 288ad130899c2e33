// Registry (ADVAPI32) on the shared database: keys case-insensitive, values keep their
// type and raw bytes, each call its own transaction.
#include "host_db.h"
#include "host_internal.h"
#include "registry_paths.h"

#include <string.h>

#include <algorithm>

namespace qvhost {

namespace {

const uint32_t kKeyMagic = 0x4b455951;  // "QYEK"
struct RegKey {
    uint32_t magic;
    std::string path;
};

const char *RootName(HKEY key) {
    switch ((ULONG_PTR)key) {
        case 0x80000000: return "HKEY_CLASSES_ROOT";
        case 0x80000001: return "HKEY_CURRENT_USER";
        case 0x80000002: return "HKEY_LOCAL_MACHINE";
        case 0x80000003: return "HKEY_USERS";
        default: return nullptr;
    }
}

bool KeyPathOf(HKEY key, std::string *path) {
    if (const char *root = RootName(key)) {
        *path = root;
        return true;
    }
    if (!key) return false;
    RegKey *k = (RegKey *)key;
    if (k->magic != kKeyMagic) return false;
    *path = k->path;
    return true;
}

HKEY NewHandle(const std::string &path) {
    g_openKeys++;
    return (HKEY) new RegKey{kKeyMagic, path};
}

bool IsRootPath(const std::string &path) {
    return path.find('\\') == std::string::npos;
}

}  // namespace

std::string JoinKeyPath(const std::string &base, const char *sub) {
    std::string r = base;
    if (!sub) return r;
    std::string part;
    for (const char *p = sub;; ++p) {
        if (*p == '\\' || *p == 0) {
            if (!part.empty()) r += "\\" + part;
            part.clear();
            if (!*p) break;
        } else {
            part += *p;
        }
    }
    return r;
}

bool KeyExists(const std::string &path) {
    if (IsRootPath(path)) return true;
    Stmt s("SELECT 1 FROM reg_keys WHERE path = ?");
    s.Bind(1, path);
    return s.Step();
}

bool CreateKeyPath(const std::string &path, bool *created) {
    *created = false;
    if (IsRootPath(path)) return true;
    size_t pos = path.find('\\');
    while (pos != std::string::npos) {
        size_t next = path.find('\\', pos + 1);
        std::string prefix = path.substr(0, next);
        Stmt s("INSERT OR IGNORE INTO reg_keys(path) VALUES(?)");
        s.Bind(1, prefix);
        if (!s.Run()) return false;
        if (next == std::string::npos) *created = sqlite3_changes(Db()) > 0;
        pos = next;
    }
    return true;
}

bool DeleteKeyTree(const std::string &path) {
    std::string lower = Lower(path);
    Stmt v("DELETE FROM reg_values WHERE lower(key) = ? OR substr(lower(key), 1, ?) = ?");
    v.Bind(1, lower).Bind(2, (long long)lower.size() + 1).Bind(3, lower + "\\");
    Stmt k("DELETE FROM reg_keys WHERE lower(path) = ? OR substr(lower(path), 1, ?) = ?");
    k.Bind(1, lower).Bind(2, (long long)lower.size() + 1).Bind(3, lower + "\\");
    return v.Run() && k.Run();
}

bool SetValue(const std::string &key, const std::string &name, DWORD type, const void *data, DWORD size) {
    Stmt s(
        "INSERT INTO reg_values(key, name, type, data) VALUES(?, ?, ?, ?) "
        "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    s.Bind(1, key).Bind(2, name).Bind(3, (long long)type).BindBlob(4, data, (int)size);
    return s.Run();
}

std::vector<std::string> SubKeys(const std::string &path) {
    std::string lower = Lower(path) + "\\";
    Stmt s("SELECT path FROM reg_keys WHERE substr(lower(path), 1, ?) = ? ORDER BY lower(path)");
    s.Bind(1, (long long)lower.size()).Bind(2, lower);
    std::vector<std::string> out;
    while (s.Step()) {
        std::string p = s.Text(0);
        std::string rest = p.substr(lower.size());
        if (!rest.empty() && rest.find('\\') == std::string::npos) out.push_back(p);
    }
    return out;
}

std::vector<RegValue> Values(const std::string &path) {
    Stmt s("SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY seq");
    s.Bind(1, path);
    std::vector<RegValue> out;
    while (s.Step()) out.push_back({s.Text(0), (DWORD)s.Int(1), s.Blob(2)});
    return out;
}

}  // namespace qvhost

using namespace qvhost;

namespace {

LONG CopyOut(const std::string &bytes, LPBYTE data, LPDWORD size) {
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD need = (DWORD)bytes.size();
    if (!data) {
        *size = need;
        return ERROR_SUCCESS;
    }
    if (*size < need) {
        *size = need;
        return ERROR_MORE_DATA;
    }
    if (need) memcpy(data, bytes.data(), need);
    *size = need;
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    std::string base;
    if (!KeyPathOf(key, &base)) return ERROR_INVALID_HANDLE;
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    std::string path = JoinKeyPath(base, subKey);
    if (!KeyExists(path)) return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(path);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                            PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    std::string base;
    if (!KeyPathOf(key, &base)) return ERROR_INVALID_HANDLE;
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    std::string path = JoinKeyPath(base, subKey);
    bool created = false;
    if (!KeyExists(path)) {
        if (RegistryWriteRefused(path)) return ERROR_ACCESS_DENIED;
        Transaction t;
        if (!CreateKeyPath(path, &created)) return ERROR_ACCESS_DENIED;
        t.Commit();
    }
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(path);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key) {
    if (RootName(key)) return ERROR_SUCCESS;
    if (!key || ((RegKey *)key)->magic != kKeyMagic) return ERROR_INVALID_HANDLE;
    ((RegKey *)key)->magic = 0;
    delete (RegKey *)key;
    g_openKeys--;
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD dataSize) {
    std::string path;
    if (!KeyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
    LONG result = ERROR_FILE_NOT_FOUND;
    {
        std::lock_guard<std::recursive_mutex> lock(DbMutex());
        Stmt s("SELECT type, data FROM reg_values WHERE key = ? AND name = ?");
        s.Bind(1, path).Bind(2, valueName ? valueName : "");
        if (s.Step()) {
            if (type) *type = (DWORD)s.Int(0);
            result = CopyOut(s.Blob(1), data, dataSize);
        }
    }
    AfterRegistryRead(valueName ? valueName : "");
    return result;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE *data, DWORD dataSize) {
    std::string path;
    if (!KeyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    if (RegistryWriteRefused(path)) return ERROR_ACCESS_DENIED;
    if (!KeyExists(path)) return ERROR_BADKEY;
    return SetValue(path, valueName ? valueName : "", type, data, dataSize) ? ERROR_SUCCESS
                                                                            : ERROR_ACCESS_DENIED;
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    std::string path;
    if (!KeyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    if (RegistryWriteRefused(path)) return ERROR_ACCESS_DENIED;
    Stmt s("DELETE FROM reg_values WHERE key = ? AND name = ?");
    s.Bind(1, path).Bind(2, valueName ? valueName : "");
    if (!s.Run()) return ERROR_ACCESS_DENIED;
    return sqlite3_changes(Db()) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    std::string base;
    if (!KeyPathOf(key, &base)) return ERROR_INVALID_HANDLE;
    if (!subKey || !*subKey) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    std::string path = JoinKeyPath(base, subKey);
    if (IsRootPath(path)) return ERROR_ACCESS_DENIED;
    if (RegistryWriteRefused(path)) return ERROR_ACCESS_DENIED;
    if (!KeyExists(path)) return ERROR_FILE_NOT_FOUND;
    Transaction t;
    if (!DeleteKeyTree(path)) return ERROR_ACCESS_DENIED;
    t.Commit();
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type,
                          LPBYTE data, LPDWORD dataSize) {
    std::string path;
    if (!KeyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Stmt s("SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY seq LIMIT 1 OFFSET ?");
    s.Bind(1, path).Bind(2, (long long)index);
    if (!s.Step()) return ERROR_NO_MORE_ITEMS;
    std::string n = s.Text(0);
    if (*nameSize <= n.size()) return ERROR_MORE_DATA;
    memcpy(name, n.c_str(), n.size() + 1);
    *nameSize = (DWORD)n.size();
    if (type) *type = (DWORD)s.Int(1);
    if (data || dataSize) return CopyOut(s.Blob(2), data, dataSize);
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR, LPDWORD,
                          FILETIME *) {
    std::string path;
    if (!KeyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    std::vector<std::string> keys = SubKeys(path);
    if (index >= keys.size()) return ERROR_NO_MORE_ITEMS;
    std::string n = keys[index].substr(keys[index].rfind('\\') + 1);
    if (*nameSize <= n.size()) return ERROR_MORE_DATA;
    memcpy(name, n.c_str(), n.size() + 1);
    *nameSize = (DWORD)n.size();
    return ERROR_SUCCESS;
}

}  // extern "C"
