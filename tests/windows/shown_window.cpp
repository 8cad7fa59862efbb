#include "shown_window.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace {

std::string toUtf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), n, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(n - 1));
    return utf8;
}

struct Children {
    std::vector<std::pair<LONG, HWND>> labels;  // by their top edge
    HWND list = nullptr;
};

BOOL CALLBACK collectChild(HWND child, LPARAM param) {
    auto* children = reinterpret_cast<Children*>(param);
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    RECT bounds;
    GetWindowRect(child, &bounds);
    if (lstrcmpW(className, L"KorvaneVerdictLabel") == 0) children->labels.push_back({bounds.top, child});
    if (lstrcmpW(className, WC_LISTVIEWW) == 0) children->list = child;
    return TRUE;
}

std::string captionOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return toUtf8(text);
}

const int kCellChars = 512;

// One LVITEMW and its text buffer, allocated in the list's process.
class RemoteCell {
public:
    explicit RemoteCell(HWND list) {
        DWORD processId = 0;
        GetWindowThreadProcessId(list, &processId);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                               processId);
        if (process_ != nullptr) {
            block_ = static_cast<BYTE*>(VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT | MEM_RESERVE,
                                                       PAGE_READWRITE));
        }
    }
    ~RemoteCell() {
        if (block_ != nullptr) VirtualFreeEx(process_, block_, 0, MEM_RELEASE);
        if (process_ != nullptr) CloseHandle(process_);
    }
    RemoteCell(const RemoteCell&) = delete;
    RemoteCell& operator=(const RemoteCell&) = delete;

    std::string text(HWND list, int row, int column) {
        if (block_ == nullptr) return "<no access to the host's memory>";
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = reinterpret_cast<wchar_t*>(block_ + sizeof(LVITEMW));
        item.cchTextMax = kCellChars;
        wchar_t buffer[kCellChars + 1] = {};
        WriteProcessMemory(process_, block_, &item, sizeof item, nullptr);
        WriteProcessMemory(process_, item.pszText, buffer, sizeof(wchar_t) * kCellChars, nullptr);
        SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(block_));
        ReadProcessMemory(process_, item.pszText, buffer, sizeof(wchar_t) * kCellChars, nullptr);
        return toUtf8(buffer);
    }

private:
    static constexpr SIZE_T kSize = sizeof(LVITEMW) + sizeof(wchar_t) * kCellChars;
    HANDLE process_ = nullptr;
    BYTE* block_ = nullptr;
};

}  // namespace

ShownWindow readShownWindow(HWND mainWindow) {
    ShownWindow shown;
    Children children;
    EnumChildWindows(mainWindow, collectChild, reinterpret_cast<LPARAM>(&children));
    std::sort(children.labels.begin(), children.labels.end());
    for (const auto& label : children.labels) shown.captions.push_back(captionOf(label.second));
    if (children.list == nullptr) return shown;

    HWND list = children.list;
    RemoteCell cell(list);
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        ShownRow shownRow;
        shownRow.item = cell.text(list, row, 0);
        shownRow.value = cell.text(list, row, 1);
        // The state bits hold image n as n + 1; 0 shows none.
        auto state = static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
        shownRow.stateImage = static_cast<int>(state >> 12) - 1;
        shown.rows.push_back(shownRow);
    }
    shown.listScrollsVertically = (GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL) != 0;
    return shown;
}
