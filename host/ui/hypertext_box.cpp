#include "ui/hypertext_box.h"

#include <shellapi.h>

#include "text.h"
#include "ui/window_class.h"

namespace {

const wchar_t kClassName[] = L"KorvaneHypertextBox";
const COLORREF kLinkColor = RGB(0, 0, 255);
const int kBodyMargin = 4;  // the box's body margin, as its style sheet lays out text
const int kBodyPoints = 9;

int CALLBACK noteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool hasFamily(const wchar_t* face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, noteFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The style sheet's font-family list: "宋体", then Verdana.
HFONT createBodyFont(bool underline) {
    HDC screen = GetDC(nullptr);
    int height = -MulDiv(kBodyPoints, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    const wchar_t* face = hasFamily(L"宋体") ? L"宋体" : L"Verdana";
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, underline, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

}  // namespace

bool HypertextBox::create(HWND parent, const RECT& bounds, const std::string& linkText,
                          const std::string& target) {
    if (!ensureWindowClass(kClassName, proc, nullptr)) return false;
    text_ = utf8ToWide(linkText);
    target_ = utf8ToWide(target);
    font_ = createBodyFont(false);
    underlined_ = createBodyFont(true);

    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font_);
    SIZE extent{};
    GetTextExtentPoint32W(screen, text_.c_str(), static_cast<int>(text_.size()), &extent);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    linkRect_ = {kBodyMargin, kBodyMargin, kBodyMargin + extent.cx, kBodyMargin + extent.cy};

    CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                    bounds.right - bounds.left, bounds.bottom - bounds.top, parent, nullptr,
                    GetModuleHandleW(nullptr), this);
    if (!hwnd_) destroyFonts();
    return hwnd_ != nullptr;
}

void HypertextBox::destroyFonts() {
    DeleteObject(font_);
    DeleteObject(underlined_);
    font_ = underlined_ = nullptr;
}

void HypertextBox::paint(HDC dc) const {
    RECT client;
    GetClientRect(hwnd_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ oldFont = SelectObject(dc, hovered_ ? underlined_ : font_);
    SetTextColor(dc, kLinkColor);
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, linkRect_.left, linkRect_.top, text_.c_str(), static_cast<int>(text_.size()));
    SelectObject(dc, oldFont);
}

bool HypertextBox::overLink(LPARAM point) const {
    POINT p{static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    return PtInRect(&linkRect_, p) != FALSE;
}

void HypertextBox::setHovered(bool hovered) {
    if (hovered == hovered_) return;
    hovered_ = hovered;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

LRESULT CALLBACK HypertextBox::proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    HypertextBox* self = windowObject<HypertextBox>(hwnd, message, lParam);
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT painted = 0;
    if (handlePaint(*self, hwnd, message, wParam, painted)) return painted;
    switch (message) {
        case WM_NCCREATE:
            self->hwnd_ = hwnd;
            break;
        case WM_NCDESTROY:
            self->hwnd_ = nullptr;
            self->destroyFonts();
            break;
        case WM_MOUSEMOVE: {
            // Leaving the box must take the underline away too.
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
            TrackMouseEvent(&track);
            self->setHovered(self->overLink(lParam));
            return 0;
        }
        case WM_MOUSELEAVE:
            self->setHovered(false);
            return 0;
        case WM_SETCURSOR:
            if (self->hovered_) {
                SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
                return TRUE;
            }
            break;
        case WM_LBUTTONDOWN:
            self->pressed_ = self->overLink(lParam);
            return 0;
        case WM_LBUTTONUP:
            if (self->pressed_ && self->overLink(lParam)) {
                ShellExecuteW(nullptr, L"open", self->target_.c_str(), nullptr, nullptr, SW_SHOW);
            }
            self->pressed_ = false;
            return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
