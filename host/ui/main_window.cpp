#include "ui/main_window.h"

#include <commctrl.h>

#include "text.h"
#include "ui/about_window.h"
#include "ui/resources.h"
#include "ui/window_class.h"

namespace {

const wchar_t kClassName[] = L"KorvaneMainWindow";
const int kWidth = 469;
const int kHeight = 602;
const char kTitle[] = "KorvaneVT/虚拟化检测 -  单机详细版 V1.0";

const ColorBGR kQueryingText = 0x606060;
const ColorBGR kQueryingBackground = 0xECECEC;
const ColorBGR kPositiveBackground = 0x008000;
const ColorBGR kNegativeBackground = 0x0000FF;

struct LabelSpec {
    RECT bounds;
    const char* caption;
};
const LabelSpec kLabels[3] = {
    {{8, 10, 8 + 448, 10 + 32}, "VT  是否开启：             查询中。"},
    {{8, 49, 8 + 448, 49 + 32}, "主板是否支持：             查询中。"},
    {{8, 88, 8 + 448, 88 + 32}, "CPU是否支持：             查询中。"},
};

// The list sits inside the group box at (7, 22); both are children of the
// window, so its window position is the sum.
const RECT kGroupBounds{8, 127, 8 + 448, 127 + 378};
const RECT kListBounds{8 + 7, 127 + 22, 8 + 7 + 432, 127 + 22 + 347};
const RECT kButtonBounds{8, 517, 8 + 448, 517 + 40};
const int kAboutButtonId = 1;

struct ColumnSpec {
    const char* title;
    int width;
};
const ColumnSpec kColumns[2] = {{"VT项目", 200}, {"是否开启", 200}};
const int kStateImageSize = 32;

HFONT createLabelFont() {
    LOGFONTW font{};
    font.lfHeight = -21;
    font.lfWeight = FW_BOLD;
    font.lfCharSet = GB2312_CHARSET;
    font.lfOutPrecision = OUT_STROKE_PRECIS;
    font.lfClipPrecision = CLIP_STROKE_PRECIS;
    font.lfQuality = DRAFT_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    lstrcpynW(font.lfFaceName, L"微软雅黑", LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

HWND createChild(HWND parent, const wchar_t* className, const std::string& text, DWORD style,
                 DWORD exStyle, const RECT& bounds, int id) {
    HWND child = CreateWindowExW(
        exStyle, className, utf8ToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, bounds.left,
        bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (child) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                     FALSE);
    }
    return child;
}

// A visual style draws a group box caption in the theme's colour (blue in
// some themes) and ignores WM_CTLCOLORSTATIC; without one the caption takes
// the colour that the window gives it. uxtheme is loaded by full path from
// the system directory: the elevated host never searches for a DLL.
void useClassicLook(HWND control) {
    wchar_t path[MAX_PATH];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n + 13 >= MAX_PATH) return;
    lstrcatW(path, L"\\uxtheme.dll");
    HMODULE uxtheme = LoadLibraryW(path);
    if (!uxtheme) return;
    using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
    auto setTheme = reinterpret_cast<SetWindowThemeFn>(
        reinterpret_cast<void*>(GetProcAddress(uxtheme, "SetWindowTheme")));
    if (setTheme) setTheme(control, L"", L"");
    // uxtheme stays loaded: the control keeps using it until it is destroyed.
}

// Image n of the list is the state image of Marker n: 0 the red cross, 1 the green check.
HIMAGELIST loadStateImages() {
    HBITMAP strip = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), kStateImagesResource,
                                                    IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!strip) return nullptr;
    HIMAGELIST images = ImageList_Create(kStateImageSize, kStateImageSize, ILC_COLOR32, 2, 0);
    if (images && ImageList_Add(images, strip, nullptr) < 0) {
        ImageList_Destroy(images);
        images = nullptr;
    }
    DeleteObject(strip);
    return images;
}

void setCellText(HWND list, int row, int column, const std::string& text) {
    std::wstring wide = utf8ToWide(text);
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = wide.data();
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
}

void onAboutButtonClicked() {
    AboutWindow about;
    about.loadModal();
}

}  // namespace

MainWindow::~MainWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

bool MainWindow::load(CreatedHandler onCreated) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (ensureWindowClass(kClassName, proc, GetSysColorBrush(COLOR_BTNFACE), true)) {
        POINT at = centredOnScreen(kWidth, kHeight);
        // No WS_CLIPCHILDREN: the group box does not paint its inside, the
        // window's background must show there.
        CreateWindowExW(0, kClassName, utf8ToWide(kTitle).c_str(),
                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, at.x, at.y,
                        kWidth, kHeight, nullptr, nullptr, instance, this);
    }
    // No failure stops the run: whatever could be created is there, and the
    // created event deploys, evaluates and shows what can be shown.
    if (hwnd_) createControls();
    if (onCreated) onCreated(*this);
    loaded_ = true;
    if (hwnd_ && visible_) {
        ShowWindow(hwnd_, SW_SHOW);
        UpdateWindow(hwnd_);
    }
    return hwnd_ != nullptr;
}

void MainWindow::createControls() {
    labelFont_ = createLabelFont();
    // Without the label font the captions still show, in the GUI font.
    HFONT font = labelFont_ ? labelFont_ : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (int i = 0; i < 3; ++i) {
        labels_[i].create(hwnd_, kLabels[i].bounds, font, kLabels[i].caption, kQueryingText,
                          kQueryingBackground);
    }
    group_ = createChild(hwnd_, L"BUTTON", "VT详情", BS_GROUPBOX, 0, kGroupBounds, 0);
    if (group_) useClassicLook(group_);
    button_ = createChild(hwnd_, L"BUTTON", "关于/帮助/鸣谢/新版", BS_PUSHBUTTON | WS_TABSTOP, 0,
                          kButtonBounds, kAboutButtonId);
    createList();
}

void MainWindow::createList() {
    list_ = createChild(hwnd_, WC_LISTVIEWW, "", LVS_REPORT | LVS_SINGLESEL | WS_TABSTOP,
                        WS_EX_STATICEDGE, kListBounds, 0);
    if (!list_) return;
    // Drawn above the group box, whose frame surrounds it.
    SetWindowPos(list_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    ListView_SetTextColor(list_, RGB(0, 0, 0));
    ListView_SetTextBkColor(list_, RGB(255, 255, 255));
    ListView_SetBkColor(list_, RGB(255, 255, 255));
    for (int i = 0; i < 2; ++i) {
        std::wstring title = utf8ToWide(kColumns[i].title);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_LEFT;
        column.cx = kColumns[i].width;
        column.pszText = title.data();
        SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    // The list owns its image lists and destroys them with itself. Without
    // them the rows still show their texts.
    if (HIMAGELIST states = loadStateImages()) ListView_SetImageList(list_, states, LVSIL_STATE);
}

void MainWindow::setVisible(bool visible) {
    visible_ = visible;
    if (loaded_) ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

void MainWindow::showVerdicts(const VerdictSet& set) {
    const VerdictLine* lines[3] = {&set.VtEnabled, &set.BoardSupport, &set.CpuSupport};
    for (int i = 0; i < 3; ++i) {
        VerdictLabel& label = labels_[i];
        label.setCaption(lines[i]->caption);
        if (lines[i]->background == VerdictBackground::Positive) {
            label.setBackground(kPositiveBackground);
        } else if (lines[i]->background == VerdictBackground::Negative) {
            label.setBackground(kNegativeBackground);
        }
        label.setTextColor(lines[i]->textColor);
    }
    for (const DetailRow& row : set.rows) appendRow(row);
}

void MainWindow::appendRow(const DetailRow& row) {
    LVITEMW item{};
    item.iItem = ListView_GetItemCount(list_);
    auto index =
        static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    setCellText(list_, index, 0, row.item);
    setCellText(list_, index, 1, row.value);
    // A state-image value of 0 shows no image, so image n is stored as n + 1.
    ListView_SetItemState(list_, index, INDEXTOSTATEIMAGEMASK(static_cast<int>(row.marker) + 1),
                          LVIS_STATEIMAGEMASK);
}

LRESULT CALLBACK MainWindow::proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MainWindow* self = windowObject<MainWindow>(hwnd, message, lParam);
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_NCCREATE:
            self->hwnd_ = hwnd;
            break;
        case WM_CTLCOLORSTATIC:
            // The group box caption is black whatever the system's colours say.
            if (reinterpret_cast<HWND>(lParam) == self->group_) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, RGB(0, 0, 0));
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case WM_COMMAND:
            if (LOWORD(wParam) == kAboutButtonId && HIWORD(wParam) == BN_CLICKED) {
                onAboutButtonClicked();
                return 0;
            }
            break;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            self->hwnd_ = nullptr;
            DeleteObject(self->labelFont_);
            self->labelFont_ = nullptr;
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
