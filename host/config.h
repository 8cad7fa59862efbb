#pragma once
// The optional config.ini beside the host, read once when the main window is created.

#include <string>

// Held from the created event to the end of the process; ANSI texts.
struct AppConfig {
    std::string configPath;
    std::string showWindow;
};

extern AppConfig appConfig;

// The value of key in section of the private-profile file at path, or the
// default when the file, the section or the key is absent. A key present with
// an empty value gives the empty text. Values longer than the 10240-byte
// buffer are cut to what it holds.
std::string readConfigValue(const std::string& path, const char* section, const char* key,
                            const char* defaultValue);

// Only a showWindow of exactly "0" hides the main window; "00", "false" or "" do not.
bool hidesWindow(const std::string& showWindow);

// Runs once at process exit.
void releaseConfig();
