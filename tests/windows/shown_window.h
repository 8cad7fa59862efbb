#pragma once
// What the host's main window shows, read from outside the host's process: the
// three verdict captions and the rows of the detail list. A list view keeps its
// texts in its own process, so the item structures are placed in the host's
// memory for the list to fill.

#include <windows.h>

#include <string>
#include <vector>

struct ShownRow {
    std::string item;
    std::string value;
    int stateImage = -1;  // 0 the cross, 1 the check; -1 none
};

struct ShownWindow {
    std::vector<std::string> captions;  // the verdict labels, top to bottom
    std::vector<ShownRow> rows;
    bool listScrollsVertically = false;
};

ShownWindow readShownWindow(HWND mainWindow);
