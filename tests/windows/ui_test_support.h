#pragma once
// Helpers of the UI suites: reading windows back as UTF-8 texts and pixels,
// and running the thread's messages.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/verdicts.h"

std::string windowText(HWND window);

// A window's position and size relative to its parent's client area (or the
// screen for a top-level window).
RECT boundsInParent(HWND window);

// Pixels as ColorBGR (0x00BBGGRR), top-down.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<ColorBGR> data;
    ColorBGR at(int x, int y) const { return data[static_cast<std::size_t>(y) * width + x]; }
};

// What the control paints into a device context of its client size, asked by
// WM_PRINTCLIENT. The context starts filled with `ground`, so a control that
// leaves pixels unpainted shows it.
Pixels printClient(HWND window, ColorBGR ground = 0xFF00FF);

// Pixels of a 32-bit bitmap, top-down whatever its orientation.
Pixels bitmapPixels(HBITMAP bitmap);

// Dispatches every queued message, WM_QUIT included (which it swallows).
void drainMessages();

// Runs `body` inside the next message loop of this thread, once, after `delay` ms.
void runInNextLoop(void (*body)(), UINT delay = 50);

// The visible top-level windows of this thread with the given title.
std::vector<HWND> threadWindowsTitled(const std::string& title);

LOGFONTW fontOf(HWND window);

// While it lives, every window of the named class that this thread creates is
// refused, as when the system runs out of window resources: a CBT hook
// answers HCBT_CREATEWND with 1. The class name is compared without case.
class RefusedClass {
  public:
    explicit RefusedClass(const wchar_t* className);
    ~RefusedClass();
    RefusedClass(const RefusedClass&) = delete;
    RefusedClass& operator=(const RefusedClass&) = delete;
    int refusals() const;

  private:
    HHOOK hook_;
};
