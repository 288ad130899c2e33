// The host's .reg importer on arbitrary text: never crashes; whatever it accepts exports
// exactly to a text that imports back to the same bytes, and in the readable form to a text
// that imports back to the same tree as every reader of a text sees it (a text value may
// gain its terminating zero).
#include <qvlmr_host.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <string>

namespace {
bool Ready() {
    static bool ready = [] {
        char dir[] = "/tmp/qvlmr-fuzz-XXXXXX";
        std::string error;
        return mkdtemp(dir) && qvhost::Open(dir, &error);
    }();
    return ready;
}
// Empties the registry through the registry calls themselves.
void EmptyRegistry() {
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
        char name[1024];
        for (;;) {
            DWORD n = sizeof name;
            if (RegEnumKeyExA(root, 0, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            if (RegDeleteKeyA(root, name) != ERROR_SUCCESS) break;
        }
    }
}
// Every value under every key, read through the registry calls; with readable set, text
// values as a reader that ends a text at the value's length sees them.
typedef std::map<std::string, std::string> Tree;  // "key\nname" -> type and bytes
void Walk(HKEY key, const std::string &path, bool readable, Tree *tree) {
    char name[1024];
    BYTE data[65536];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        std::string bytes((const char *)data, dataSize);
        if (readable && (type == REG_SZ || type == REG_EXPAND_SZ) && !bytes.empty() && bytes.back() == 0)
            bytes.pop_back();
        (*tree)[path + "\n" + std::string(name, nameSize)] = std::to_string(type) + ":" + bytes;
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY sub;
        std::string subPath = path + "\\" + name;
        (*tree)[subPath];
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        Walk(sub, subPath, readable, tree);
        RegCloseKey(sub);
    }
}
Tree Snapshot(bool readable) {
    Tree tree;
    Walk(HKEY_LOCAL_MACHINE, "HKLM", readable, &tree);
    Walk(HKEY_CURRENT_USER, "HKCU", readable, &tree);
    Walk(HKEY_CLASSES_ROOT, "HKCR", readable, &tree);
    Walk(HKEY_USERS, "HKU", readable, &tree);
    return tree;
}

// Empties the registry, imports text, which must be accepted.
void Reimport(const std::string &text, const char *form) {
    std::string error;
    EmptyRegistry();
    if (!qvhost::ImportRegText(text, &error)) {
        fprintf(stderr, "an exported tree (%s form) does not import back: %s\n%s", form, error.c_str(),
                text.c_str());
        abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!Ready()) abort();
    std::string error;
    EmptyRegistry();  // every input starts from an empty registry
    std::string text((const char *)data, size);
    if (!qvhost::ImportRegText(text, &error)) return 0;
    Tree exact = Snapshot(false), readable = Snapshot(true);
    std::string exactText = qvhost::ExportRegText("", true), readableText = qvhost::ExportRegText("");
    Reimport(exactText, "exact");
    if (Snapshot(false) != exact || qvhost::ExportRegText("", true) != exactText) {
        fprintf(stderr, "exact export, import: other bytes:\n%s", exactText.c_str());
        abort();
    }
    Reimport(readableText, "readable");
    if (Snapshot(true) != readable || qvhost::ExportRegText("") != readableText) {
        fprintf(stderr, "readable export, import: another tree:\n%s", readableText.c_str());
        abort();
    }
    return 0;
}
