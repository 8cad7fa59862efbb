#pragma once
// A verdict label: fills its whole rectangle with its background colour, then
// draws its caption as one line, left-aligned and vertically centred, in its
// text colour and font. Every change repaints it. The caption is the window
// text (UTF-16 inside the window, UTF-8 at this interface).

#include <windows.h>

#include <string>

#include "ui/verdicts.h"

class VerdictLabel {
  public:
    VerdictLabel() = default;
    VerdictLabel(const VerdictLabel&) = delete;
    VerdictLabel& operator=(const VerdictLabel&) = delete;

    // The font is borrowed: it must outlive the label.
    bool create(HWND parent, const RECT& bounds, HFONT font, const std::string& caption,
                ColorBGR textColor, ColorBGR background);

    void setCaption(const std::string& caption);
    void setTextColor(ColorBGR color);
    void setBackground(ColorBGR color);

    ColorBGR textColor() const { return textColor_; }
    ColorBGR background() const { return background_; }
    HWND hwnd() const { return hwnd_; }
    // Draws every pixel of the control into dc.
    void paint(HDC dc) const;

  private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    ColorBGR textColor_ = 0;
    ColorBGR background_ = 0;
};
