// Process start of the host: no command line, one GUI thread.

#include <windows.h>

#include <cstdlib>

#include "config.h"
#include "start_sequence.h"
#include "ui/main_window.h"

namespace {

// The host runs elevated and is often started from a downloads folder: DLLs
// planted beside it must never be loaded. Looked up by name because Windows 7
// without KB2533623 lacks the call; there, dropping the current directory from
// the search is what remains.
void restrictDllSearchToSystem32() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryA("");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    restrictDllSearchToSystem32();
    std::atexit(releaseConfig);
    MainWindow window;
    if (!window.load(onStartWindowCreated)) return 0;
    return runMessageLoop();
}
