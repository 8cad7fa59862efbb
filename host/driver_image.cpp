#include "driver_image.h"

#include <windows.h>

#include "driver_image_id.h"

DriverImage embeddedDriverImage() {
    HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_DRIVER_IMAGE), RT_RCDATA);
    if (info == nullptr) return {};
    HGLOBAL loaded = LoadResource(nullptr, info);
    const void* data = loaded == nullptr ? nullptr : LockResource(loaded);
    if (data == nullptr) return {};
    return {data, SizeofResource(nullptr, info)};
}
