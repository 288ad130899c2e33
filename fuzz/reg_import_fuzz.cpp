// The host's .reg importer on arbitrary text: never crashes, and whatever it accepts
// exports to a text that imports back to the same tree.
#include <qvlmr_host.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

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
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!Ready()) abort();
    std::string error;
    EmptyRegistry();  // every input starts from an empty registry
    std::string text((const char *)data, size);
    if (!qvhost::ImportRegText(text, &error)) return 0;
    std::string first = qvhost::ExportRegText("");
    EmptyRegistry();
    if (!qvhost::ImportRegText(first, &error)) {
        fprintf(stderr, "an exported tree does not import back: %s\n%s", error.c_str(), first.c_str());
        abort();
    }
    if (qvhost::ExportRegText("") != first) {
        fprintf(stderr, "export, import, export differs:\n%s", first.c_str());
        abort();
    }
    return 0;
}
