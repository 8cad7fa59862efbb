#pragma once
// The pure half of registry access: splitting a value path into key path and
// value name, and turning a value's raw data bytes into an integer or a text.
// No platform include, so that native tests exercise it directly.

#include <cstddef>
#include <cstdint>
#include <string>

// Splits "key\path\name" at its last backslash: path keeps the key path, the
// value name is returned. A path ending in a backslash names the key's default
// value: keyOnly becomes 1, the name is empty and path stays whole; so it does
// when keyOnly is already non-zero on entry. Without any backslash the whole
// path is the key path and the name is empty. Path is an ANSI text: a byte of
// 0x80 or above opens a double-byte character whose second byte is no backslash.
std::string splitValuePath(std::string& path, std::int32_t& keyOnly);

// The first four bytes as a little-endian integer; missing high bytes count as 0.
std::int32_t dataToInt(const unsigned char* data, std::size_t size);

// The bytes up to the first zero byte, or all of them when there is none.
std::string dataToText(const unsigned char* data, std::size_t size);
