#include "ui/evaluation.h"

#include "registry/value_path.h"
#include "text.h"

#include <vector>

namespace {

const char* const kProbeKeyPrefix = "SOFTWARE\\Quorvel\\";
constexpr std::int32_t kLocalMachine = 4;

std::string expandEnvironment(const std::string& text) {
    DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::vector<char> expanded(needed, '\0');
    DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed) return {};
    return dataToText(reinterpret_cast<const unsigned char*>(expanded.data()), expanded.size());
}

}  // namespace

std::string readRegistryString(HKEY root, const char* keyPath, const char* valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
    std::string text;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        // Stored strings need not end in a zero byte: the text is cut at the
        // size that the read reports, never beyond the block.
        std::vector<unsigned char> data(size, 0);
        DWORD filled = size;
        if (RegQueryValueExA(key, valueName, nullptr, &type, data.data(), &filled) ==
                ERROR_SUCCESS &&
            filled <= size) {
            if (type == REG_SZ) text = dataToText(data.data(), filled);
            if (type == REG_EXPAND_SZ) text = expandEnvironment(dataToText(data.data(), filled));
        }
    }
    RegCloseKey(key);
    return text;
}

std::string readProcessorName() {
    return ansiToUtf8(readRegistryString(HKEY_LOCAL_MACHINE,
                                         "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                                         "ProcessorNameString"));
}

std::int32_t RegistryProbeReader::readInt(const std::string& name) {
    return access.readInt(kLocalMachine, kProbeKeyPrefix + name);
}

std::string RegistryProbeReader::readText(const std::string& name) {
    return ansiToUtf8(access.readText(kLocalMachine, kProbeKeyPrefix + name));
}

VerdictSet runVerdictEvaluation(const StartFacts& facts) {
    // The reader, and the registry access it owns, lives only for this evaluation.
    RegistryProbeReader reader;
    return evaluateVerdicts(readProcessorName(), reader, facts);
}
