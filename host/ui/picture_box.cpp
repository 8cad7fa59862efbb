#include "ui/picture_box.h"

#include "ui/png_decoder.h"
#include "ui/window_class.h"

namespace {

const wchar_t kClassName[] = L"KorvanePictureBox";

HBITMAP loadPngResource(const wchar_t* name, SIZE& imageSize) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, name, reinterpret_cast<LPCWSTR>(RT_RCDATA));
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return nullptr;
    return decodePng(bytes, SizeofResource(module, found), imageSize);
}

}  // namespace

bool PictureBox::create(HWND parent, const RECT& bounds, const wchar_t* pngResource) {
    if (!ensureWindowClass(kClassName, proc, nullptr)) return false;
    // A picture that cannot be decoded leaves the box empty, showing the
    // window's background; the box is still there.
    image_ = loadPngResource(pngResource, imageSize_);
    CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                    bounds.right - bounds.left, bounds.bottom - bounds.top, parent, nullptr,
                    GetModuleHandleW(nullptr), this);
    if (!hwnd_ && image_) {
        DeleteObject(image_);
        image_ = nullptr;
    }
    return hwnd_ != nullptr;
}

void PictureBox::paint(HDC dc) const {
    RECT client;
    GetClientRect(hwnd_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    if (!image_) return;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, image_);
    // Drawn 1:1 from the top-left corner; what lies beyond the client area is clipped away.
    // gdi32's own export: msimg32, which holds AlphaBlend, is no protected DLL
    // and could be planted beside the elevated host.
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    GdiAlphaBlend(dc, 0, 0, imageSize_.cx, imageSize_.cy, source, 0, 0, imageSize_.cx,
                  imageSize_.cy, blend);
    SelectObject(source, old);
    DeleteDC(source);
}

LRESULT CALLBACK PictureBox::proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    PictureBox* self = windowObject<PictureBox>(hwnd, message, lParam);
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT painted = 0;
    if (handlePaint(*self, hwnd, message, wParam, painted)) return painted;
    switch (message) {
        case WM_NCCREATE:
            self->hwnd_ = hwnd;
            break;
        case WM_NCDESTROY:
            self->hwnd_ = nullptr;
            DeleteObject(self->image_);
            self->image_ = nullptr;
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
