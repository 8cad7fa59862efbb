#pragma once
// A picture box: shows a PNG image stored in the program at its natural size
// from the box's top-left corner, clipped to the box. No scaling, no border;
// where the image is transparent or absent the window's 3D-face colour shows.

#include <windows.h>

class PictureBox {
  public:
    PictureBox() = default;
    PictureBox(const PictureBox&) = delete;
    PictureBox& operator=(const PictureBox&) = delete;

    // pngResource names an RCDATA resource of the program holding the PNG bytes;
    // when it is missing or cannot be decoded the box shows only its background.
    bool create(HWND parent, const RECT& bounds, const wchar_t* pngResource);

    HWND hwnd() const { return hwnd_; }
    SIZE imageSize() const { return imageSize_; }
    HBITMAP image() const { return image_; }  // premultiplied 32-bit, top-down
    // Draws every pixel of the control into dc.
    void paint(HDC dc) const;

  private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    HBITMAP image_ = nullptr;
    SIZE imageSize_{};
};
