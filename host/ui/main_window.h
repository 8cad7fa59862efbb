#pragma once
// The main window: three verdict labels, the detail list in its group box and
// the About button. Loading it creates everything in the "querying" state and
// raises the created event; only after the event's handler has returned is the
// window displayed, so the user first sees it with the verdicts filled in.
// Destroying it ends the message loop.

#include <windows.h>

#include "ui/message_loop.h"  // runMessageLoop: the loop that closing this window ends
#include "ui/verdict_label.h"
#include "ui/verdicts.h"

class MainWindow {
  public:
    using CreatedHandler = void (*)(MainWindow&);

    MainWindow() = default;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow();

    // Creates the window and all controls in their initial state, centres it on
    // the primary screen, calls onCreated (the created event) and then shows the
    // window unless setVisible(false) was called during the event. A control
    // that cannot be created is missing, nothing more: the event is raised in
    // every case. Returns false when the window itself could not be created.
    bool load(CreatedHandler onCreated);
    void setVisible(bool visible);  // the visible property
    void showVerdicts(const VerdictSet& set);

    HWND hwnd() const { return hwnd_; }
    // 0: 标签1 (VtEnabled), 1: 标签2 (BoardSupport), 2: 标签3 (CpuSupport)
    const VerdictLabel& label(int index) const { return labels_[index]; }
    HWND groupBox() const { return group_; }
    HWND list() const { return list_; }
    HWND aboutButton() const { return button_; }

  private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void createList();
    void appendRow(const DetailRow& row);

    HWND hwnd_ = nullptr;
    HFONT labelFont_ = nullptr;
    VerdictLabel labels_[3];
    HWND group_ = nullptr;
    HWND list_ = nullptr;
    HWND button_ = nullptr;
    bool visible_ = true;
    bool loaded_ = false;
};
