#pragma once
// The signed probe driver image that the host carries, byte for byte.

#include <cstddef>

struct DriverImage {
    const void* data = nullptr;
    std::size_t size = 0;
};

// The embedded image; empty when the resource is missing.
DriverImage embeddedDriverImage();
