#pragma once

#include <string>

// The directory that holds the host's executable, in the ANSI code page and
// without a trailing backslash ("D:\tools" for D:\tools\vt.exe).
std::string runDirectory();
