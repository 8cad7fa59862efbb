#pragma once
// What every window of the host needs: its class registered once, and the way
// from a window handle back to the C++ object that owns it.

#include <windows.h>

// Registers a window class of this module unless it is registered already, so
// each window registers its class on first use. With programIcon the class
// shows the program's icon (resource DEFAULT_ICON) at the system's large and
// small icon sizes.
bool ensureWindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background,
                       bool programIcon = false);

// The object behind a window of ours: CreateWindowExW gets the object as its
// creation parameter, WM_NCCREATE keeps it in GWLP_USERDATA. Gives nullptr for
// the few messages that come before WM_NCCREATE.
template <class T>
T* windowObject(HWND hwnd, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* object = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        return object;
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// Painting of a control that draws every pixel itself with paint(HDC): no
// background erase (it would flicker), WM_PAINT and WM_PRINTCLIENT both draw.
// Gives true when the message was one of these three and has been answered.
template <class T>
bool handlePaint(const T& control, HWND hwnd, UINT message, WPARAM wParam, LRESULT& result) {
    switch (message) {
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            control.paint(dc);
            EndPaint(hwnd, &ps);
            result = 0;
            return true;
        }
        case WM_PRINTCLIENT:
            control.paint(reinterpret_cast<HDC>(wParam));
            result = 0;
            return true;
    }
    return false;
}

// Places a top-level window of the given outer size in the middle of the primary screen.
POINT centredOnScreen(int width, int height);
