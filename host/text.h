#pragma once
// Text conversions at the boundary to Windows. Inside the host every text is
// UTF-8; the system hands over ANSI texts (registry, profile) and the W
// functions of the window system take UTF-16.

#include <string>

std::string ansiToUtf8(const std::string& ansi);
std::wstring utf8ToWide(const std::string& utf8);
std::string wideToUtf8(const std::wstring& wide);
