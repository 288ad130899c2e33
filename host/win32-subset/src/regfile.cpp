// Import and export of the registry as .reg text (REGEDIT4 and version 5.00).
#include "host_db.h"
#include "host_internal.h"
#include "registry_paths.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace qvhost {

namespace {

std::string Trim(const std::string &s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Reads a quoted text starting at s[*pos] == '"'; handles \" and \\ escapes.
bool ReadQuoted(const std::string &s, size_t *pos, std::string *out) {
    if (*pos >= s.size() || s[*pos] != '"') return false;
    out->clear();
    for (size_t i = *pos + 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            out->push_back(s[++i]);
        } else if (s[i] == '"') {
            *pos = i + 1;
            return true;
        } else {
            out->push_back(s[i]);
        }
    }
    return false;
}

bool ParseHexBytes(const std::string &text, std::string *out) {
    out->clear();
    std::string digits;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!digits.empty()) {
                if (digits.size() > 2) return false;
                out->push_back((char)strtoul(digits.c_str(), nullptr, 16));
                digits.clear();
            }
            continue;
        }
        if (!isxdigit((unsigned char)c)) return false;
        digits.push_back(c);
    }
    if (!digits.empty()) {
        if (digits.size() > 2) return false;
        out->push_back((char)strtoul(digits.c_str(), nullptr, 16));
    }
    return true;
}

bool ParseData(const std::string &text, DWORD *type, std::string *data) {
    if (!text.empty() && text[0] == '"') {
        size_t pos = 0;
        if (!ReadQuoted(text, &pos, data) || !Trim(text.substr(pos)).empty()) return false;
        data->push_back('\0');
        *type = REG_SZ;
        return true;
    }
    std::string lower = Lower(text);
    if (lower.compare(0, 7, "str(2):") == 0) {  // an expandable text, as a text
        size_t pos = 7;
        if (!ReadQuoted(text, &pos, data) || !Trim(text.substr(pos)).empty()) return false;
        data->push_back('\0');
        *type = REG_EXPAND_SZ;
        return true;
    }
    if (lower.compare(0, 6, "dword:") == 0) {
        std::string digits = Trim(text.substr(6));
        if (digits.empty() || digits.size() > 8) return false;
        for (char c : digits)
            if (!isxdigit((unsigned char)c)) return false;
        uint32_t v = (uint32_t)strtoul(digits.c_str(), nullptr, 16);
        data->assign((const char *)&v, 4);
        *type = REG_DWORD;
        return true;
    }
    if (lower.compare(0, 4, "hex:") == 0) {
        *type = REG_BINARY;
        return ParseHexBytes(text.substr(4), data);
    }
    if (lower.compare(0, 4, "hex(") == 0) {
        size_t close = lower.find("):");
        if (close == std::string::npos || close == 4) return false;
        std::string n = lower.substr(4, close - 4);
        for (char c : n)
            if (!isxdigit((unsigned char)c)) return false;
        if (n.size() > 8) return false;
        *type = (DWORD)strtoul(n.c_str(), nullptr, 16);
        return ParseHexBytes(text.substr(close + 2), data);
    }
    return false;
}

std::string Quote(const std::string &s) {
    std::string r = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') r += '\\';
        r += c;
    }
    return r + "\"";
}

// Text that a quoted .reg value can carry: no zero, no control character.
bool PlainText(const std::string &text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

std::string HexList(const std::string &data) {
    std::string r;
    char buf[4];
    for (size_t i = 0; i < data.size(); ++i) {
        snprintf(buf, sizeof buf, "%02x", (unsigned char)data[i]);
        if (i) r += ",";
        r += buf;
    }
    return r;
}

// A text value is written as a quoted text when its bytes are a plain text with or without
// the terminating zero that an import adds: every reader that ends a text at the value's
// length reads the same text back. Exact keeps the bytes: only a text that has its zero.
std::string FormatValue(const RegValue &v, bool exact) {
    std::string name = v.name.empty() ? "@" : Quote(v.name);
    char buf[32];
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
        bool terminated = !v.data.empty() && v.data.back() == '\0';
        std::string text = terminated ? v.data.substr(0, v.data.size() - 1) : v.data;
        if ((terminated || !exact) && PlainText(text))
            return name + "=" + (v.type == REG_EXPAND_SZ ? "str(2):" : "") + Quote(text);
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        uint32_t d;
        memcpy(&d, v.data.data(), 4);
        snprintf(buf, sizeof buf, "dword:%08x", d);
        return name + "=" + buf;
    }
    if (v.type == REG_BINARY) return name + "=hex:" + HexList(v.data);
    snprintf(buf, sizeof buf, "hex(%x):", v.type);
    return name + "=" + buf + HexList(v.data);
}

void ExportTree(const std::string &path, bool exact, std::string *out) {
    if (KeyExists(path) && path.find('\\') != std::string::npos) {
        *out += "[" + path + "]\n";
        for (const RegValue &v : Values(path)) *out += FormatValue(v, exact) + "\n";
        *out += "\n";
    }
    for (const std::string &k : SubKeys(path)) ExportTree(k, exact, out);
}

}  // namespace

bool ImportRegText(const std::string &text, std::string *error) {
    // Join continuation lines (a trailing backslash) first.
    std::vector<std::pair<int, std::string>> lines;
    int lineNo = 0;
    std::string pending;
    int pendingLine = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        std::string raw = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        ++lineNo;
        std::string t = Trim(raw);
        if (pending.empty()) pendingLine = lineNo;
        if (!t.empty() && t.back() == '\\') {
            pending += t.substr(0, t.size() - 1);
        } else {
            lines.push_back({pendingLine, pending + t});
            pending.clear();
        }
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    if (!pending.empty()) lines.push_back({pendingLine, pending});

    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    Transaction t;
    bool header = false;
    std::string key;  // current key; "" when none or deleted
    for (auto &entry : lines) {
        const std::string &line = entry.second;
        auto fail = [&](const std::string &what) {
            if (error) *error = "line " + std::to_string(entry.first) + ": " + what;
            return false;
        };
        if (line.empty() || line[0] == ';') continue;
        if (!header) {
            if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00" &&
                !(line.size() > 3 && (unsigned char)line[0] == 0xEF &&
                  (line.substr(3) == "REGEDIT4" || line.substr(3) == "Windows Registry Editor Version 5.00")))
                return fail(
                    "not a registry file (expected REGEDIT4 or "
                    "\"Windows Registry Editor Version 5.00\")");
            header = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') return fail("key line without closing ']'");
            std::string name = line.substr(1, line.size() - 2);
            bool remove = !name.empty() && name[0] == '-';
            if (remove) name = name.substr(1);
            std::string path = JoinKeyPath("", name.c_str());
            if (!path.empty() && path[0] == '\\') path = path.substr(1);
            std::string root = path.substr(0, path.find('\\'));
            std::string r = Lower(root);
            if (r != "hkey_local_machine" && r != "hkey_current_user" && r != "hkey_users" &&
                r != "hkey_classes_root")
                return fail("unknown root key '" + root + "'");
            if (remove) {
                if (path.find('\\') == std::string::npos) return fail("cannot delete a root key");
                DeleteKeyTree(path);
                key.clear();
            } else {
                bool created;
                if (!CreateKeyPath(path, &created)) return fail("cannot create key");
                key = path;
            }
            continue;
        }
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ReadQuoted(line, &pos, &name)) {
            return fail("expected a value name in quotes or @");
        }
        std::string rest = Trim(line.substr(pos));
        if (rest.empty() || rest[0] != '=') return fail("expected '=' after the value name");
        rest = Trim(rest.substr(1));
        if (key.empty()) return fail("value outside of a key");
        if (rest == "-") {
            Stmt s("DELETE FROM reg_values WHERE key = ? AND name = ?");
            s.Bind(1, key).Bind(2, name);
            s.Run();
            continue;
        }
        DWORD type;
        std::string data;
        if (!ParseData(rest, &type, &data)) return fail("cannot read the value data '" + rest + "'");
        if (!SetValue(key, name, type, data.data(), (DWORD)data.size()))
            return fail("cannot store the value");
    }
    if (!header) {
        if (error) *error = "empty registry file";
        return false;
    }
    t.Commit();
    return true;
}

std::string ExportRegText(const std::string &keyPath, bool exact) {
    std::lock_guard<std::recursive_mutex> lock(DbMutex());
    std::string out = "REGEDIT4\n\n";
    if (keyPath.empty()) {
        for (const char *root :
             {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"})
            ExportTree(root, exact, &out);
    } else {
        std::string path = JoinKeyPath("", keyPath.c_str());
        if (!path.empty() && path[0] == '\\') path = path.substr(1);
        ExportTree(path, exact, &out);
    }
    return out;
}

}  // namespace qvhost
