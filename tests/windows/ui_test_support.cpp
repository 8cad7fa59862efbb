#include "ui_test_support.h"

#include "text.h"

std::string windowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied));
    return wideToUtf8(text);
}

RECT boundsInParent(HWND window) {
    RECT bounds;
    GetWindowRect(window, &bounds);
    HWND parent = GetAncestor(window, GA_PARENT);
    if (parent && parent != GetDesktopWindow()) {
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);
    }
    return bounds;
}

namespace {

HBITMAP createTopDownDib(int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

Pixels fromBgra(const void* bits, int width, int height) {
    Pixels pixels{width, height, {}};
    const auto* bgra = static_cast<const std::uint8_t*>(bits);
    pixels.data.reserve(static_cast<std::size_t>(width) * height);
    for (int i = 0; i < width * height; ++i) {
        const std::uint8_t* p = bgra + 4 * i;
        pixels.data.push_back(static_cast<ColorBGR>(p[2]) | (p[1] << 8) | (p[0] << 16));
    }
    return pixels;
}

}  // namespace

Pixels printClient(HWND window, ColorBGR ground) {
    RECT client;
    GetClientRect(window, &client);
    void* bits = nullptr;
    HBITMAP target = createTopDownDib(client.right, client.bottom, &bits);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, target);
    HBRUSH fill = CreateSolidBrush(ground);
    FillRect(dc, &client, fill);
    DeleteObject(fill);
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    Pixels pixels = fromBgra(bits, client.right, client.bottom);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(target);
    return pixels;
}

Pixels bitmapPixels(HBITMAP bitmap) {
    BITMAP shape{};
    GetObjectW(bitmap, sizeof shape, &shape);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shape.bmWidth;
    info.bmiHeader.biHeight = -shape.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(shape.bmWidth) * shape.bmHeight * 4);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, bitmap, 0, shape.bmHeight, bits.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    return fromBgra(bits.data(), shape.bmWidth, shape.bmHeight);
}

void drainMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

namespace {

void (*pendingBody)() = nullptr;

void CALLBACK runPending(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    void (*body)() = pendingBody;
    pendingBody = nullptr;
    if (body) body();
}

}  // namespace

void runInNextLoop(void (*body)(), UINT delay) {
    pendingBody = body;
    SetTimer(nullptr, 0, delay, runPending);
}

namespace {

struct TitleSearch {
    std::string title;
    std::vector<HWND> found;
};

BOOL CALLBACK matchTitle(HWND window, LPARAM search) {
    auto* s = reinterpret_cast<TitleSearch*>(search);
    if (IsWindowVisible(window) && windowText(window) == s->title) s->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> threadWindowsTitled(const std::string& title) {
    TitleSearch search{title, {}};
    EnumThreadWindows(GetCurrentThreadId(), matchTitle, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

LOGFONTW fontOf(HWND window) {
    LOGFONTW font{};
    auto handle = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    GetObjectW(handle, sizeof font, &font);
    return font;
}

namespace {

const wchar_t* refusedClassName = nullptr;
int refusedCount = 0;

LRESULT CALLBACK refuseCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        wchar_t name[64] = {};
        GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
        if (lstrcmpiW(name, refusedClassName) == 0) {
            ++refusedCount;
            return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

RefusedClass::RefusedClass(const wchar_t* className) {
    refusedClassName = className;
    refusedCount = 0;
    hook_ = SetWindowsHookExW(WH_CBT, refuseCreation, nullptr, GetCurrentThreadId());
}

RefusedClass::~RefusedClass() {
    UnhookWindowsHookEx(hook_);
    refusedClassName = nullptr;
}

int RefusedClass::refusals() const { return refusedCount; }
