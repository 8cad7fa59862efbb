#include "text.h"

#include <windows.h>

namespace {

std::wstring toWide(UINT codePage, const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

}  // namespace

std::string wideToUtf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0) return {};
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], n, nullptr,
                        nullptr);
    return utf8;
}

std::string ansiToUtf8(const std::string& ansi) { return wideToUtf8(toWide(CP_ACP, ansi)); }

std::wstring utf8ToWide(const std::string& utf8) { return toWide(CP_UTF8, utf8); }
