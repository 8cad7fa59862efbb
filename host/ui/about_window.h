#pragma once
// The About window: why switching virtualization on matters, a thank-you, the
// maker's console in a picture and one link to the newest version. Modal: while
// it is open every other top-level window of the thread is disabled.

#include <windows.h>

#include <vector>

#include "ui/hypertext_box.h"
#include "ui/picture_box.h"

class AboutWindow {
  public:
    AboutWindow() = default;
    AboutWindow(const AboutWindow&) = delete;
    AboutWindow& operator=(const AboutWindow&) = delete;
    ~AboutWindow();

    // Loads the window modally with no parent: returns when it has been closed.
    void loadModal();

    // The two halves of loadModal. create() makes the window and its controls,
    // centres it, disables the thread's other top-level windows and shows it;
    // runModal() waits until the window is closed.
    bool create();
    void runModal();

    HWND hwnd() const { return hwnd_; }
    HWND textLabel() const { return text_; }
    const HypertextBox& link() const { return link_; }
    const PictureBox& picture() const { return picture_; }

  private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void disableOthers();
    void enableOthers();

    HWND hwnd_ = nullptr;
    HWND text_ = nullptr;
    HypertextBox link_;
    PictureBox picture_;
    std::vector<HWND> disabled_;
};
