#pragma once
// The About window's hypertext box. Its whole content is one anchor, drawn the
// way the box's standard style sheet draws links: 9 pt text in the first of
// "宋体" and Verdana that the system has, blue, underlined only while the mouse
// pointer is over it. A click on the anchor hands its target to the shell's
// "open" verb; the rest of the box does nothing. No border; the background is
// the window's 3D-face colour.

#include <windows.h>

#include <string>

class HypertextBox {
  public:
    HypertextBox() = default;
    HypertextBox(const HypertextBox&) = delete;
    HypertextBox& operator=(const HypertextBox&) = delete;

    // linkText and target are UTF-8.
    bool create(HWND parent, const RECT& bounds, const std::string& linkText,
                const std::string& target);

    HWND hwnd() const { return hwnd_; }
    RECT linkRect() const { return linkRect_; }  // client coordinates
    bool linkHovered() const { return hovered_; }
    HFONT font() const { return font_; }  // the not-underlined one
    // Draws every pixel of the control into dc.
    void paint(HDC dc) const;

  private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void setHovered(bool hovered);
    bool overLink(LPARAM point) const;
    void destroyFonts();

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    HFONT underlined_ = nullptr;
    std::wstring text_;
    std::wstring target_;
    RECT linkRect_{};
    bool hovered_ = false;
    bool pressed_ = false;
};
