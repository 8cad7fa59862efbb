#pragma once
// The host's message loops. Esc is a close key for every top-level window of
// the host, whichever of its controls has the keyboard focus, so the loops
// look at key presses before the controls get them.

#include <windows.h>

// Esc pressed in an enabled top-level window (or any control in it) closes that
// window exactly like its close box. Gives true when the message was used so.
bool closeOnEscape(const MSG& message);

// The GUI thread's loop: runs until WM_QUIT and gives its exit code.
int runMessageLoop();

// A modal window's loop: runs until the window no longer exists. A WM_QUIT seen
// meanwhile ends it early and is posted again for the outer loop.
void runModalLoop(HWND window);
