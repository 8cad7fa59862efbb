#include "registry/registry_access.h"

#include "registry/value_path.h"

#include <vector>

namespace {

using Wow64DirectoryFn = UINT(WINAPI*)(LPSTR, UINT);

// The value's data bytes as the 64-bit view holds them; empty when any step fails.
std::vector<unsigned char> readValueData(const RegistryAccess& access, std::int32_t code,
                                         const std::string& valuePath) {
    std::vector<unsigned char> data;
    if (access.is64BitSystem == 0) return data;

    HKEY root = access.rootKeyHandle(code);
    std::string keyPath = valuePath;
    std::int32_t keyOnly = 0;
    std::string valueName = access.splitValuePath(keyPath, keyOnly);

    PVOID oldState = nullptr;
    if (Wow64DisableWow64FsRedirection(&oldState) != 1) return data;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_WOW64_64KEY | KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegDisableReflectionKey(key);
        DWORD size = 0;
        if (RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, nullptr, &size) ==
            ERROR_SUCCESS) {
            // The block keeps the size of the first answer; a failing second
            // query leaves it all zero, which reads as 0 and the empty text.
            data.assign(size, 0);
            DWORD filled = size;
            RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, data.data(), &filled);
        }
        RegEnableReflectionKey(key);
        RegCloseKey(key);
    }
    Wow64RevertWow64FsRedirection(oldState);
    return data;
}

}  // namespace

std::int32_t detect64BitSystem() {
    // On a 32-bit Windows the function exists but returns 0; on a 64-bit
    // Windows it returns the length of the WOW64 system directory.
    char buffer[255];
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemWow64DirectoryA");
    if (found == nullptr) return 0;
    auto wow64Directory = reinterpret_cast<Wow64DirectoryFn>(reinterpret_cast<void*>(found));
    return static_cast<std::int32_t>(wow64Directory(buffer, sizeof buffer)) > 0 ? 1 : 0;
}

RegistryAccess::RegistryAccess() { is64BitSystem = detect64BitSystem(); }

HKEY RegistryAccess::rootKeyHandle(std::int32_t code) const {
    switch (code) {
        case 1:
            return HKEY_CLASSES_ROOT;
        case 2:
            return HKEY_CURRENT_CONFIG;
        case 3:
            return HKEY_CURRENT_USER;
        case 4:
            return HKEY_LOCAL_MACHINE;
        case 5:
            return HKEY_USERS;
        default:
            return nullptr;
    }
}

std::string RegistryAccess::splitValuePath(std::string& path, std::int32_t& keyOnly) const {
    return ::splitValuePath(path, keyOnly);
}

std::int32_t RegistryAccess::readInt(std::int32_t code, const std::string& valuePath) const {
    std::vector<unsigned char> data = readValueData(*this, code, valuePath);
    return dataToInt(data.data(), data.size());
}

std::string RegistryAccess::readText(std::int32_t code, const std::string& valuePath) const {
    std::vector<unsigned char> data = readValueData(*this, code, valuePath);
    return dataToText(data.data(), data.size());
}
