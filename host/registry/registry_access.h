#pragma once
// Reads registry values through the 64-bit view from a 32-bit process, where
// an ordinary open below HKLM\SOFTWARE would land in the 32-bit branch.
// Every read that fails gives 0 or the empty text; nothing is reported.

#include <windows.h>

#include <cstdint>
#include <string>

// 1 on a 64-bit Windows (where a 32-bit program runs under WOW64), else 0:
// whether GetSystemWow64DirectoryA, looked up by name, gives a directory.
std::int32_t detect64BitSystem();

class RegistryAccess {
public:
    RegistryAccess();

    // Codes 1..5: HKCR, HKCC, HKCU, HKLM, HKU; any other code gives the null handle.
    HKEY rootKeyHandle(std::int32_t code) const;
    std::string splitValuePath(std::string& path, std::int32_t& keyOnly) const;
    // valuePath is "key\path\name"; a trailing backslash or none names the default value.
    std::int32_t readInt(std::int32_t code, const std::string& valuePath) const;
    std::string readText(std::int32_t code, const std::string& valuePath) const;

    // detect64BitSystem(), decided once on construction.
    std::int32_t is64BitSystem = 0;
};
