#include "registry/value_path.h"

std::string splitValuePath(std::string& path, std::int32_t& keyOnly) {
    if (!path.empty() && path.back() == '\\') keyOnly = 1;
    if (keyOnly != 0) return {};

    const std::size_t n = path.size();
    std::size_t last = std::string::npos;
    std::size_t i = 0;
    while (i < n) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte == '\\') last = i;
        // A lead byte as the very last byte has no second byte to skip.
        i += (byte >= 0x80 && i + 1 < n) ? 2 : 1;
    }
    if (last == std::string::npos) return {};

    std::string name = path.substr(last + 1);
    path.erase(last);
    return name;
}

std::int32_t dataToInt(const unsigned char* data, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i) value |= std::uint32_t{data[i]} << (8 * i);
    return static_cast<std::int32_t>(value);
}

std::string dataToText(const unsigned char* data, std::size_t size) {
    std::size_t length = 0;
    while (length < size && data[length] != 0) ++length;
    if (length == 0) return {};
    return std::string(reinterpret_cast<const char*>(data), length);
}
