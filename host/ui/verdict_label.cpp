#include "ui/verdict_label.h"

#include "text.h"
#include "ui/window_class.h"

namespace {
const wchar_t kClassName[] = L"KorvaneVerdictLabel";
}

bool VerdictLabel::create(HWND parent, const RECT& bounds, HFONT font, const std::string& caption,
                          ColorBGR textColor, ColorBGR background) {
    if (!ensureWindowClass(kClassName, proc, nullptr)) return false;
    font_ = font;
    textColor_ = textColor;
    background_ = background;
    CreateWindowExW(0, kClassName, utf8ToWide(caption).c_str(), WS_CHILD | WS_VISIBLE, bounds.left,
                    bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                    nullptr, GetModuleHandleW(nullptr), this);
    return hwnd_ != nullptr;
}

void VerdictLabel::setCaption(const std::string& caption) {
    SetWindowTextW(hwnd_, utf8ToWide(caption).c_str());
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void VerdictLabel::setTextColor(ColorBGR color) {
    textColor_ = color;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void VerdictLabel::setBackground(ColorBGR color) {
    background_ = color;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void VerdictLabel::paint(HDC dc) const {
    RECT client;
    GetClientRect(hwnd_, &client);
    // ColorBGR is laid out like COLORREF (0x00BBGGRR), so it goes to GDI as it is.
    HBRUSH fill = CreateSolidBrush(background_);
    FillRect(dc, &client, fill);
    DeleteObject(fill);

    int length = GetWindowTextLengthW(hwnd_);
    std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(hwnd_, caption.data(), length + 1);
    HGDIOBJ oldFont = SelectObject(dc, font_);
    SetTextColor(dc, textColor_);
    SetBkMode(dc, TRANSPARENT);
    // A caption wider than the label is cut at its right edge, never wrapped.
    DrawTextW(dc, caption.c_str(), length, &client,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

LRESULT CALLBACK VerdictLabel::proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    VerdictLabel* self = windowObject<VerdictLabel>(hwnd, message, lParam);
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT painted = 0;
    if (handlePaint(*self, hwnd, message, wParam, painted)) return painted;
    switch (message) {
        case WM_NCCREATE:
            self->hwnd_ = hwnd;
            break;
        case WM_NCDESTROY:
            self->hwnd_ = nullptr;
            break;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(self->font_);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
