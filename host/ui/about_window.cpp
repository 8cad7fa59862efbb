#include "ui/about_window.h"

#include "text.h"
#include "ui/message_loop.h"
#include "ui/resources.h"
#include "ui/window_class.h"

namespace {

const wchar_t kClassName[] = L"KorvaneAboutWindow";
const int kWidth = 733;
const int kHeight = 423;

const char kTitle[] = "关于";
const char kText[] =
    "    经过测试，VT/虚拟化开启可以缓解最近很多游戏的CPU占用高，崩溃无法进入游戏等问题，"
    "以及早先的蓝屏问题。本程序可以详细查看本机的VT开启详情。特别感谢: Harrowen\r\n"
    "    如果想批量集中检测您所有电脑的VT开启情况，请使用Kestrin日志中的VT检测功能，如下图：";
const char kLinkText[] = "点此查看最新版本 korvane.example";
const char kLinkTarget[] = "https://korvane.example/vt/latest";

const RECT kTextBounds{8, 10, 8 + 712, 10 + 64};
const RECT kLinkBounds{8, 67, 8 + 272, 67 + 29};
const RECT kPictureBounds{7, 101, 7 + 712, 101 + 272};

// Hidden helper windows of the thread are left alone; what the user can reach is disabled.
BOOL CALLBACK collectEnabled(HWND window, LPARAM list) {
    if (IsWindowVisible(window) && IsWindowEnabled(window))
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

AboutWindow::~AboutWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void AboutWindow::loadModal() {
    if (create()) runModal();
}

bool AboutWindow::create() {
    if (!ensureWindowClass(kClassName, proc, GetSysColorBrush(COLOR_BTNFACE), true)) {
        return false;
    }
    POINT at = centredOnScreen(kWidth, kHeight);
    // No owner: the window has its own taskbar button, and modality comes from
    // disabling the other windows, not from an owner.
    CreateWindowExW(WS_EX_APPWINDOW, kClassName, utf8ToWide(kTitle).c_str(),
                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, at.x, at.y, kWidth,
                    kHeight, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd_) return false;
    // A control that cannot be created is missing; the window still opens with the others.
    createControls();
    disableOthers();
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    return true;
}

void AboutWindow::createControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    text_ = CreateWindowExW(
        0, L"STATIC", utf8ToWide(kText).c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
        kTextBounds.left, kTextBounds.top, kTextBounds.right - kTextBounds.left,
        kTextBounds.bottom - kTextBounds.top, hwnd_, nullptr, instance, nullptr);
    if (text_) {
        SendMessageW(text_, WM_SETFONT,
                     reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
    link_.create(hwnd_, kLinkBounds, kLinkText, kLinkTarget);
    picture_.create(hwnd_, kPictureBounds, kAboutPictureResource);
}

void AboutWindow::runModal() { runModalLoop(hwnd_); }

void AboutWindow::disableOthers() {
    EnumThreadWindows(GetCurrentThreadId(), collectEnabled, reinterpret_cast<LPARAM>(&disabled_));
    for (HWND window : disabled_) {
        if (window != hwnd_) EnableWindow(window, FALSE);
    }
}

void AboutWindow::enableOthers() {
    for (HWND window : disabled_) {
        if (window != hwnd_ && IsWindow(window)) EnableWindow(window, TRUE);
    }
    disabled_.clear();
}

LRESULT CALLBACK AboutWindow::proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    AboutWindow* self = windowObject<AboutWindow>(hwnd, message, lParam);
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_NCCREATE:
            self->hwnd_ = hwnd;
            break;
        case WM_CTLCOLORSTATIC:
            // The text label has no background of its own: only its black text is drawn.
            if (reinterpret_cast<HWND>(lParam) == self->text_) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, RGB(0, 0, 0));
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
            }
            break;
        case WM_CLOSE:
            // Enabled again before this window goes, so that activation returns to them.
            self->enableOthers();
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            self->enableOthers();
            return 0;
        case WM_NCDESTROY:
            self->hwnd_ = nullptr;
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
