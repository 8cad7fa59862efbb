#include "config.h"

#include <windows.h>

#include <vector>

AppConfig appConfig;

std::string readConfigValue(const std::string& path, const char* section, const char* key,
                            const char* defaultValue) {
    std::vector<char> buffer(10240, '\0');
    GetPrivateProfileStringA(section, key, defaultValue, buffer.data(),
                             static_cast<DWORD>(buffer.size()), path.c_str());
    buffer.back() = '\0';  // the text ends inside the buffer whatever the call did
    return std::string(buffer.data());
}

bool hidesWindow(const std::string& showWindow) { return showWindow == "0"; }

void releaseConfig() {
    std::string().swap(appConfig.configPath);
    std::string().swap(appConfig.showWindow);
}
