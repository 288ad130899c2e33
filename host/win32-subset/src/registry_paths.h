// Registry tree operations shared by the registry calls and the .reg text importer.
// The caller holds DbMutex().
#ifndef QVLMR_HOST_REGISTRY_PATHS_H
#define QVLMR_HOST_REGISTRY_PATHS_H

#include <windows.h>

#include <string>
#include <vector>

namespace qvhost {

struct RegValue {
    std::string name;
    DWORD type;
    std::string data;
};

std::string JoinKeyPath(const std::string &base, const char *sub);
bool KeyExists(const std::string &path);
bool CreateKeyPath(const std::string &path, bool *created);
bool DeleteKeyTree(const std::string &path);
bool SetValue(const std::string &key, const std::string &name, DWORD type, const void *data, DWORD size);
std::vector<std::string> SubKeys(const std::string &path);
std::vector<RegValue> Values(const std::string &path);

}  // namespace qvhost

#endif
