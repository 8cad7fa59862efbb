#include "ui/window_class.h"

#include "ui/resources.h"

namespace {

// Loaded once per class and kept for the life of the process, as the class is.
HICON loadProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(instance, kIconResource, IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), 0));
}

}  // namespace

bool ensureWindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background, bool programIcon) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(instance, name, &wc)) return true;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    if (programIcon) {
        wc.hIcon = loadProgramIcon(instance, SM_CXICON, SM_CYICON);
        wc.hIconSm = loadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
    }
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

POINT centredOnScreen(int width, int height) {
    return {(GetSystemMetrics(SM_CXSCREEN) - width) / 2,
            (GetSystemMetrics(SM_CYSCREEN) - height) / 2};
}
