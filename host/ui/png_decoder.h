#pragma once
// PNG bytes to a bitmap GDI can blend, decoded by the system's Windows Imaging
// Component.

#include <windows.h>

#include <cstddef>

// Gives a top-down 32-bit DIB section with premultiplied alpha (what AlphaBlend
// takes) and its size, or nullptr when the bytes are not a decodable image.
// The caller owns the bitmap.
HBITMAP decodePng(const void* data, std::size_t size, SIZE& imageSize);
