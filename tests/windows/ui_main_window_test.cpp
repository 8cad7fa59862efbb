// The main window created in-process under Wine and read back: frame, layout,
// fonts, the list's shape, what showVerdicts writes, the labels' pixels, Esc
// and the About button.

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "text.h"
#include "ui/evaluation.h"
#include "ui/main_window.h"
#include "ui_test_support.h"

namespace {

const std::string kColon = "：";
const std::string kQuerying = kColon + std::string(13, ' ') + "查询中。";
const std::string kInitialCaptions[3] = {"VT  是否开启" + kQuerying, "主板是否支持" + kQuerying,
                                         "CPU是否支持" + kQuerying};

const ColorBGR kGreen = 0x008000;
const ColorBGR kRed = 0x0000FF;
const ColorBGR kLightGrey = 0xECECEC;
const ColorBGR kDarkGrey = 0x606060;
const ColorBGR kWhite = 0xFFFFFF;

VerdictLine line(const std::string& title, const std::string& word, VerdictBackground background) {
    return {" " + title + kColon + "    " + word, background, kWhite};
}

// What evaluation gives on an Intel machine with VT on and usable.
VerdictSet intelSet() {
    VerdictSet set;
    set.VtEnabled = line("VT是否开启", "开启", VerdictBackground::Positive);
    set.BoardSupport = line("主板VT支持", "支持", VerdictBackground::Positive);
    set.CpuSupport = line("CPU支持VT", "不支持", VerdictBackground::Negative);
    set.rows = {{"CPU型号", "  Intel(R) Core(TM) i7-9700 CPU @ 3.00GHz", Marker::Check},
                {"BIOSLock", "1", Marker::Check},
                {"CPU_VT", "0", Marker::Cross},
                {"CR0_NE", "1", Marker::Check},
                {"CR0_PE", "1", Marker::Check},
                {"CR0_PG", "0", Marker::Cross},
                {"CR4_VMXE", "当前无VT驱动加载", Marker::Check},
                {"VMInSMX", "0", Marker::Cross},
                {"VMOutSideSMX", "1", Marker::Check}};
    return set;
}

// What evaluation gives on an AMD machine without SVM: the board line is Unchanged.
VerdictSet amdSet() {
    VerdictSet set;
    set.VtEnabled = line("VT是否开启", "关闭", VerdictBackground::Negative);
    set.BoardSupport = line("主板VT支持", "未知", VerdictBackground::Unchanged);
    set.CpuSupport = line("CPU支持VT", "不支持", VerdictBackground::Negative);
    set.rows = {{"CPU型号", "AMD Ryzen 7 5800X 8-Core Processor", Marker::Check},
                {"CPU_Vendor", "", Marker::Check},
                {"SVM", "0", Marker::Cross},
                {"SVM_NP", "1", Marker::Check},
                {"VM_CR", "关闭或不支持", Marker::Cross}};
    return set;
}

std::string cellText(HWND list, int row, int column) {
    wchar_t buffer[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return wideToUtf8(buffer);
}

int stateImageOf(HWND list, int row) {
    auto state = static_cast<UINT>(ListView_GetItemState(list, row, LVIS_STATEIMAGEMASK));
    return static_cast<int>(state >> 12) - 1;
}

SIZE iconSize(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return {0, 0};
    BITMAP color{};
    GetObjectW(info.hbmColor, sizeof color, &color);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return {color.bmWidth, color.bmHeight};
}

void hide(MainWindow& w) { w.setVisible(false); }

class MainWindowTest : public ::testing::Test {
  protected:
    void TearDown() override {
        window.reset();
        drainMessages();  // takes the WM_QUIT that destroying the window posted
    }
    // Hidden unless a test needs the window on screen: destroying a shown
    // window costs about 2 s under Wine without a window manager.
    MainWindow& load(MainWindow::CreatedHandler handler = hide) {
        window = std::make_unique<MainWindow>();
        EXPECT_TRUE(window->load(handler));
        return *window;
    }
    std::unique_ptr<MainWindow> window;
};

// --- the created event -------------------------------------------------------

struct CreatedSeen {
    int calls = 0;
    bool visible = true;
    std::string captions[3];
    ColorBGR textColors[3] = {};
    ColorBGR backgrounds[3] = {};
    int rows = -1;
};
CreatedSeen seen;

void recordCreated(MainWindow& w) {
    ++seen.calls;
    seen.visible = IsWindowVisible(w.hwnd()) != FALSE;
    for (int i = 0; i < 3; ++i) {
        seen.captions[i] = windowText(w.label(i).hwnd());
        seen.textColors[i] = w.label(i).textColor();
        seen.backgrounds[i] = w.label(i).background();
    }
    seen.rows = ListView_GetItemCount(w.list());
}

TEST_F(MainWindowTest, CreatedEventSeesTheQueryingStateBeforeAnythingIsShown) {
    seen = {};
    MainWindow& w = load(recordCreated);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_FALSE(seen.visible);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(seen.captions[i], kInitialCaptions[i]) << "label " << i;
        EXPECT_EQ(seen.textColors[i], kDarkGrey) << "label " << i;
        EXPECT_EQ(seen.backgrounds[i], kLightGrey) << "label " << i;
    }
    EXPECT_EQ(seen.rows, 0);
    EXPECT_TRUE(IsWindowVisible(w.hwnd()));
}

void hideAndFill(MainWindow& w) {
    w.setVisible(false);
    w.showVerdicts(intelSet());
}
void fillOnly(MainWindow& w) { w.showVerdicts(intelSet()); }

struct VisibilityCase {
    const char* name;
    MainWindow::CreatedHandler handler;
    bool visibleAfterLoad;
};

class MainWindowVisibility : public MainWindowTest,
                             public ::testing::WithParamInterface<VisibilityCase> {};

TEST_P(MainWindowVisibility, HiddenDuringTheCreatedEventStaysHiddenYetFilled) {
    MainWindow& w = load(GetParam().handler);
    drainMessages();
    EXPECT_EQ(IsWindowVisible(w.hwnd()) != FALSE, GetParam().visibleAfterLoad);
    EXPECT_EQ(windowText(w.label(0).hwnd()), intelSet().VtEnabled.caption);
    EXPECT_EQ(ListView_GetItemCount(w.list()), 9);
}

INSTANTIATE_TEST_SUITE_P(Cases, MainWindowVisibility,
                         ::testing::Values(VisibilityCase{"shown", fillOnly, true},
                                           VisibilityCase{"hidden", hideAndFill, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, VisiblePropertyShowsAndHidesALoadedWindow) {
    MainWindow& w = load(nullptr);
    EXPECT_TRUE(IsWindowVisible(w.hwnd()));
    w.setVisible(false);
    EXPECT_FALSE(IsWindowVisible(w.hwnd()));
    w.setVisible(true);
    EXPECT_TRUE(IsWindowVisible(w.hwnd()));
}

// --- the frame -----------------------------------------------------------------

TEST_F(MainWindowTest, FrameTitleSizeAndPosition) {
    MainWindow& w = load();
    EXPECT_EQ(windowText(w.hwnd()), "KorvaneVT/虚拟化检测 -  单机详细版 V1.0");
    RECT outer;
    GetWindowRect(w.hwnd(), &outer);
    EXPECT_EQ(outer.right - outer.left, 469);
    EXPECT_EQ(outer.bottom - outer.top, 602);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 469) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 602) / 2);

    auto style = static_cast<DWORD>(GetWindowLongPtrW(w.hwnd(), GWL_STYLE));
    auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(w.hwnd(), GWL_EXSTYLE));
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "the frame must not be sizable";
    EXPECT_FALSE(style & WS_CHILD);
    EXPECT_FALSE(exStyle & WS_EX_TOPMOST);
    EXPECT_FALSE(exStyle & WS_EX_TOOLWINDOW) << "the window needs a taskbar button";
    EXPECT_EQ(GetWindow(w.hwnd(), GW_OWNER), nullptr);
    EXPECT_EQ(GetMenu(w.hwnd()), nullptr);
    EXPECT_EQ(
        SendMessageW(w.hwnd(), WM_NCHITTEST, 0, MAKELPARAM(outer.right - 1, outer.bottom - 1)),
        HTBORDER)
        << "the corner of a fixed frame does not size the window";
}

TEST_F(MainWindowTest, BackgroundIsTheFaceColourAndTheIconComesFromTheProgram) {
    MainWindow& w = load();
    auto brush = reinterpret_cast<HBRUSH>(GetClassLongPtrW(w.hwnd(), GCLP_HBRBACKGROUND));
    LOGBRUSH fill{};
    ASSERT_NE(GetObjectW(brush, sizeof fill, &fill), 0);
    EXPECT_EQ(fill.lbColor, GetSysColor(COLOR_BTNFACE));

    auto large = reinterpret_cast<HICON>(GetClassLongPtrW(w.hwnd(), GCLP_HICON));
    auto small = reinterpret_cast<HICON>(GetClassLongPtrW(w.hwnd(), GCLP_HICONSM));
    ASSERT_NE(large, nullptr);
    ASSERT_NE(small, nullptr);
    SIZE l = iconSize(large);
    SIZE s = iconSize(small);
    EXPECT_EQ(l.cx, 32);
    EXPECT_EQ(l.cy, 32);
    EXPECT_EQ(s.cx, 16);
    EXPECT_EQ(s.cy, 16);
}

// --- controls --------------------------------------------------------------------

struct ControlCase {
    const char* name;
    HWND (*get)(const MainWindow&);
    RECT bounds;  // left, top, right, bottom in the window's client area
    const char* caption;
};

const ControlCase kControls[] = {
    {"label1",
     [](const MainWindow& w) { return w.label(0).hwnd(); },
     {8, 10, 456, 42},
     kInitialCaptions[0].c_str()},
    {"label2",
     [](const MainWindow& w) { return w.label(1).hwnd(); },
     {8, 49, 456, 81},
     kInitialCaptions[1].c_str()},
    {"label3",
     [](const MainWindow& w) { return w.label(2).hwnd(); },
     {8, 88, 456, 120},
     kInitialCaptions[2].c_str()},
    {"group", [](const MainWindow& w) { return w.groupBox(); }, {8, 127, 456, 505}, "VT详情"},
    {"list", [](const MainWindow& w) { return w.list(); }, {15, 149, 447, 496}, ""},
    {"button",
     [](const MainWindow& w) { return w.aboutButton(); },
     {8, 517, 456, 557},
     "关于/帮助/鸣谢/新版"},
};

TEST_F(MainWindowTest, ControlsSitWhereTheLayoutPutsThem) {
    MainWindow& w = load();
    for (const ControlCase& c : kControls) {
        SCOPED_TRACE(c.name);
        HWND control = c.get(w);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetParent(control), w.hwnd());
        EXPECT_TRUE(GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE);
        RECT r = boundsInParent(control);
        EXPECT_EQ(r.left, c.bounds.left);
        EXPECT_EQ(r.top, c.bounds.top);
        EXPECT_EQ(r.right, c.bounds.right);
        EXPECT_EQ(r.bottom, c.bounds.bottom);
        EXPECT_EQ(windowText(control), c.caption);
    }
}

TEST_F(MainWindowTest, GroupBoxAndButtonAreStandardControlsInTheDefaultGuiFont) {
    MainWindow& w = load();
    LOGFONTW gui{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
    for (HWND control : {w.groupBox(), w.list(), w.aboutButton()}) {
        LOGFONTW font = fontOf(control);
        EXPECT_EQ(std::wstring(font.lfFaceName), std::wstring(gui.lfFaceName));
        EXPECT_EQ(font.lfHeight, gui.lfHeight);
    }
    auto groupStyle = GetWindowLongPtrW(w.groupBox(), GWL_STYLE);
    EXPECT_EQ(groupStyle & BS_TYPEMASK, BS_GROUPBOX);
    auto buttonStyle = GetWindowLongPtrW(w.aboutButton(), GWL_STYLE);
    EXPECT_EQ(buttonStyle & BS_TYPEMASK, BS_PUSHBUTTON) << "an ordinary, not a default, button";
}

TEST_F(MainWindowTest, VerdictLabelsUseTheBoldYaHeiFont) {
    MainWindow& w = load();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        LOGFONTW font = fontOf(w.label(i).hwnd());
        EXPECT_EQ(wideToUtf8(font.lfFaceName), "微软雅黑");
        EXPECT_EQ(font.lfHeight, -21);
        EXPECT_EQ(font.lfWeight, 700);
        EXPECT_FALSE(font.lfItalic);
        EXPECT_FALSE(font.lfUnderline);
        EXPECT_FALSE(font.lfStrikeOut);
        EXPECT_EQ(font.lfCharSet, 134);
        EXPECT_EQ(font.lfOutPrecision, 3);
        EXPECT_EQ(font.lfClipPrecision, 2);
        EXPECT_EQ(font.lfQuality, 1);
        EXPECT_EQ(font.lfPitchAndFamily, 0x22);
    }
}

// --- the detail list ---------------------------------------------------------------

TEST_F(MainWindowTest, ListIsAReportWithTwoColumnsAndTwoStateImages) {
    MainWindow& w = load();
    HWND list = w.list();
    wchar_t className[64] = {};
    GetClassNameW(list, className, 64);
    EXPECT_EQ(std::wstring(className), std::wstring(WC_LISTVIEWW));

    auto style = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_STYLE));
    EXPECT_EQ(style & LVS_TYPEMASK, static_cast<DWORD>(LVS_REPORT));
    EXPECT_TRUE(style & LVS_SINGLESEL);
    EXPECT_FALSE(style & LVS_SHOWSELALWAYS) << "the selection hides without the focus";
    EXPECT_FALSE(style & LVS_NOCOLUMNHEADER);
    EXPECT_FALSE(style & LVS_NOSORTHEADER) << "header items are pressable";
    EXPECT_FALSE(style & LVS_EDITLABELS);
    EXPECT_FALSE(style & (LVS_SORTASCENDING | LVS_SORTDESCENDING));
    auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_EXSTYLE));
    EXPECT_TRUE(exStyle & WS_EX_STATICEDGE);
    EXPECT_FALSE(exStyle & WS_EX_CLIENTEDGE);
    DWORD listEx = ListView_GetExtendedListViewStyle(list);
    EXPECT_TRUE(listEx & LVS_EX_FULLROWSELECT);
    EXPECT_TRUE(listEx & LVS_EX_GRIDLINES);
    EXPECT_FALSE(listEx & (LVS_EX_CHECKBOXES | LVS_EX_TRACKSELECT | LVS_EX_ONECLICKACTIVATE));

    const char* titles[2] = {"VT项目", "是否开启"};
    for (int i = 0; i < 2; ++i) {
        wchar_t text[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_IMAGE;
        column.pszText = text;
        column.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(wideToUtf8(text), titles[i]);
        EXPECT_EQ(column.cx, 200);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
        EXPECT_FALSE(column.fmt & LVCFMT_IMAGE);
    }
    HWND header = ListView_GetHeader(list);
    EXPECT_EQ(Header_GetItemCount(header), 2);
    EXPECT_TRUE(GetWindowLongPtrW(header, GWL_STYLE) & HDS_BUTTONS);

    EXPECT_EQ(ListView_GetTextColor(list), RGB(0, 0, 0));
    EXPECT_EQ(ListView_GetTextBkColor(list), RGB(255, 255, 255));
    EXPECT_EQ(ListView_GetBkColor(list), RGB(255, 255, 255));

    EXPECT_EQ(ListView_GetImageList(list, LVSIL_NORMAL), nullptr);
    EXPECT_EQ(ListView_GetImageList(list, LVSIL_SMALL), nullptr);
    HIMAGELIST states = ListView_GetImageList(list, LVSIL_STATE);
    ASSERT_NE(states, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(states), 2);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(states, &cx, &cy);
    EXPECT_EQ(cx, 32);
    EXPECT_EQ(cy, 32);
    EXPECT_EQ(ListView_GetItemCount(list), 0);
}

// Image 0 is the red badge with the white cross, image 1 the green one with the check.
TEST_F(MainWindowTest, StateImagesAreOpaqueBadgesOnWhite) {
    MainWindow& w = load();
    HIMAGELIST states = ListView_GetImageList(w.list(), LVSIL_STATE);
    ASSERT_NE(states, nullptr);
    struct Expect {
        int image;
        ColorBGR badge;
        ColorBGR lowerRight;  // on the cross's stroke; beside the check's
    } cases[] = {{0, RGB(214, 38, 38), kWhite}, {1, RGB(38, 160, 64), RGB(38, 160, 64)}};
    for (const Expect& e : cases) {
        SCOPED_TRACE(e.image);
        IMAGEINFO info{};
        ASSERT_TRUE(ImageList_GetImageInfo(states, e.image, &info));
        Pixels all = bitmapPixels(info.hbmImage);
        auto at = [&](int x, int y) { return all.at(info.rcImage.left + x, info.rcImage.top + y); };
        EXPECT_EQ(at(0, 0), kWhite);
        EXPECT_EQ(at(31, 31), kWhite);
        EXPECT_EQ(at(16, 4), e.badge) << "the badge's ring";
        EXPECT_EQ(at(20, 20), e.lowerRight);
    }
}

// --- showVerdicts -------------------------------------------------------------------

struct VerdictCase {
    const char* name;
    VerdictSet (*make)();
    ColorBGR backgrounds[3];
};

class ShowVerdicts : public MainWindowTest, public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(ShowVerdicts, LabelsTakeCaptionsAndColoursAndRowsFollowInOrder) {
    MainWindow& w = load();
    VerdictSet set = GetParam().make();
    w.showVerdicts(set);
    const VerdictLine* lines[3] = {&set.VtEnabled, &set.BoardSupport, &set.CpuSupport};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(windowText(w.label(i).hwnd()), lines[i]->caption);
        EXPECT_EQ(w.label(i).textColor(), kWhite);
        EXPECT_EQ(w.label(i).background(), GetParam().backgrounds[i]);
    }
    HWND list = w.list();
    ASSERT_EQ(ListView_GetItemCount(list), static_cast<int>(set.rows.size()));
    for (int r = 0; r < static_cast<int>(set.rows.size()); ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(cellText(list, r, 0), set.rows[r].item);
        EXPECT_EQ(cellText(list, r, 1), set.rows[r].value);
        EXPECT_EQ(stateImageOf(list, r), static_cast<int>(set.rows[r].marker));
    }
    EXPECT_EQ(ListView_GetSelectedCount(list), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, ShowVerdicts,
    ::testing::Values(VerdictCase{"intel", intelSet, {kGreen, kGreen, kRed}},
                      VerdictCase{"amd_board_unchanged", amdSet, {kRed, kLightGrey, kRed}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, UnchangedKeepsTheBackgroundAndRowsAreAppended) {
    MainWindow& w = load();
    w.showVerdicts(intelSet());  // the board line turns green
    w.showVerdicts(amdSet());    // Unchanged: stays green
    EXPECT_EQ(w.label(1).background(), kGreen);
    EXPECT_EQ(w.label(1).textColor(), kWhite);
    EXPECT_EQ(windowText(w.label(1).hwnd()), amdSet().BoardSupport.caption);
    EXPECT_EQ(ListView_GetItemCount(w.list()), 9 + 5);
    EXPECT_EQ(cellText(w.list(), 9, 0), "CPU型号");
    EXPECT_EQ(cellText(w.list(), 10, 0), "CPU_Vendor");
}

TEST_F(MainWindowTest, TextColourComesFromTheLine) {
    MainWindow& w = load();
    VerdictSet set = amdSet();
    set.CpuSupport.textColor = 0x123456;
    w.showVerdicts(set);
    EXPECT_EQ(w.label(2).textColor(), 0x123456u);
}

// --- the facts of this start ------------------------------------------------------

// Windows in the Microsoft hypervisor's root partition, as user-mode CPUID shows it.
HypervisorFacts rootPartition() {
    HypervisorFacts facts;
    facts.present = true;
    facts.highestLeaf = 0x4000000B;
    const char signature[] = "Microsoft Hv";
    for (std::size_t i = 0; i < kHypervisorSignatureBytes; ++i) facts.signature[i] = signature[i];
    facts.rootPartition = true;
    return facts;
}

const StartFacts kBareMetalRan{HypervisorFacts{}, ProbeOutcome{ProbeOutcomeKind::Ran, 0}};

// The created event evaluates the probe key of this prefix (empty: no driver has
// run here) with the facts injected, as the start sequence does with its own.
StartFacts injectedFacts;
void evaluateWithInjectedFacts(MainWindow& w) {
    w.setVisible(false);
    w.showVerdicts(runVerdictEvaluation(injectedFacts));
}

struct ShownRow {
    const char* item;
    const char* value;
    Marker marker;
};

TEST_F(MainWindowTest, RootPartitionShowsThreeGreenLinesAndEndsTheListWithItsRows) {
    const ShownRow platform{"虚拟化平台", "Hyper-V（Windows 虚拟化）正在使用VT", Marker::Check};
    struct Case {
        const char* name;
        ProbeOutcome probe;
        std::vector<ShownRow> extra;
    } cases[] = {
        {"driver ran", {ProbeOutcomeKind::Ran, 0}, {platform}},
        {"driver refused",
         {ProbeOutcomeKind::StartFailed, 577},
         {platform,
          {"检测驱动", "本次未能运行（系统不接受驱动签名），尚无检测结果", Marker::Cross}}},
    };
    // Over the empty key the probe values alone give no green line at all.
    const VerdictSet bare = runVerdictEvaluation(kBareMetalRan);
    for (const VerdictLine* line : {&bare.VtEnabled, &bare.BoardSupport, &bare.CpuSupport}) {
        ASSERT_NE(line->background, VerdictBackground::Positive) << line->caption;
    }
    const char* const positive[3] = {" VT是否开启：    开启", " 主板VT支持：    支持",
                                     " CPU支持VT：    支持"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        injectedFacts = {rootPartition(), c.probe};
        MainWindow& w = load(evaluateWithInjectedFacts);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(windowText(w.label(i).hwnd()), positive[i]);
            EXPECT_EQ(w.label(i).background(), kGreen);
            EXPECT_EQ(w.label(i).textColor(), kWhite);
        }
        HWND list = w.list();
        const int bareRows = static_cast<int>(bare.rows.size());
        ASSERT_EQ(ListView_GetItemCount(list), bareRows + static_cast<int>(c.extra.size()));
        for (int r = 0; r < bareRows; ++r) {
            SCOPED_TRACE(r);
            EXPECT_EQ(cellText(list, r, 0), bare.rows[r].item) << "the probe rows stay as read";
            EXPECT_EQ(cellText(list, r, 1), bare.rows[r].value);
            EXPECT_EQ(stateImageOf(list, r), static_cast<int>(bare.rows[r].marker));
        }
        for (std::size_t k = 0; k < c.extra.size(); ++k) {
            const int r = bareRows + static_cast<int>(k);
            SCOPED_TRACE(r);
            EXPECT_EQ(cellText(list, r, 0), c.extra[k].item);
            EXPECT_EQ(cellText(list, r, 1), c.extra[k].value);
            EXPECT_EQ(stateImageOf(list, r), static_cast<int>(c.extra[k].marker));
        }
    }
}

// The list keeps its place and size; from ten rows on it scrolls vertically, and
// scrolling brings the last row fully into view. Nine rows fit without a bar.
TEST_F(MainWindowTest, TenRowsOrMoreScrollVerticallyWithinTheSameList) {
    const DetailRow extra[] = {
        {"虚拟化平台", "KVM 虚拟机，未开放嵌套VT", Marker::Cross},
        {"检测驱动", "本次未能运行（驱动服务已被禁用），显示上次检测结果", Marker::Cross},
    };
    for (std::size_t added = 0; added <= 2; ++added) {
        VerdictSet set = intelSet();
        set.rows.insert(set.rows.end(), extra, extra + added);
        const int rows = static_cast<int>(set.rows.size());
        const bool scrolls = rows >= 10;
        SCOPED_TRACE(::testing::Message() << rows << " rows");
        MainWindow& w = load();
        w.showVerdicts(set);
        HWND list = w.list();

        RECT bounds = boundsInParent(list);
        EXPECT_EQ(bounds.left, 15);
        EXPECT_EQ(bounds.top, 149);
        EXPECT_EQ(bounds.right, 447);
        EXPECT_EQ(bounds.bottom, 496);
        auto style = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_STYLE));
        EXPECT_EQ((style & WS_VSCROLL) != 0, scrolls);
        EXPECT_FALSE(style & WS_HSCROLL) << "both columns fit beside the vertical bar";

        ASSERT_TRUE(ListView_EnsureVisible(list, rows - 1, FALSE));
        RECT last{};
        last.left = LVIR_BOUNDS;
        ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, rows - 1, reinterpret_cast<LPARAM>(&last)));
        RECT client;
        GetClientRect(list, &client);
        EXPECT_LE(last.bottom, client.bottom) << "the last row is in view";
        EXPECT_EQ(ListView_GetTopIndex(list) > 0, scrolls);
    }
}

// --- pixels -------------------------------------------------------------------------

struct Ink {
    int count = 0;
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};

// Pixels that differ from the fill colour: the caption.
Ink inkOf(const Pixels& p, ColorBGR fill) {
    Ink ink;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (p.at(x, y) == fill) continue;
            ++ink.count;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    }
    return ink;
}

int countOf(const Pixels& p, ColorBGR colour) {
    int n = 0;
    for (ColorBGR c : p.data) n += c == colour;
    return n;
}

struct PaintCase {
    const char* name;
    std::string caption;
    VerdictBackground background;
    ColorBGR fill;
};

class LabelPaint : public MainWindowTest, public ::testing::WithParamInterface<PaintCase> {};

TEST_P(LabelPaint, FillsThenDrawsOneLeftAlignedCentredLine) {
    MainWindow& w = load();
    VerdictSet set = amdSet();
    set.CpuSupport.caption = GetParam().caption;
    set.CpuSupport.background = GetParam().background;
    w.showVerdicts(set);

    Pixels p = printClient(w.label(2).hwnd());
    ASSERT_EQ(p.width, 448);
    ASSERT_EQ(p.height, 32);
    EXPECT_EQ(countOf(p, 0xFF00FF), 0) << "every pixel is painted";
    EXPECT_EQ(p.at(0, 0), GetParam().fill);
    EXPECT_EQ(p.at(447, 31), GetParam().fill);
    EXPECT_GT(countOf(p, kWhite), 30) << "white text";
    Ink ink = inkOf(p, GetParam().fill);
    ASSERT_GT(ink.count, 0);
    EXPECT_GE(ink.left, 1) << "the leading space is a small margin";
    EXPECT_LE(ink.left, 12);
    int above = ink.top;
    int below = p.height - 1 - ink.bottom;
    EXPECT_LE(std::abs(above - below), 4) << "vertically centred: " << above << " / " << below;
    EXPECT_LE(ink.bottom - ink.top, 24) << "one line";
}

INSTANTIATE_TEST_SUITE_P(
    Captions, LabelPaint,
    ::testing::Values(
        PaintCase{"green", " CPU支持VT：    支持", VerdictBackground::Positive, kGreen},
        PaintCase{"red", " CPU支持VT：    不支持", VerdictBackground::Negative, kRed},
        PaintCase{"unchanged", " CPU支持VT：    未知", VerdictBackground::Unchanged, kLightGrey},
        PaintCase{"too_long", " CPU支持VT：    " + std::string(30, 'W') + " 不支持 不支持 不支持",
                  VerdictBackground::Negative, kRed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, InitialLabelsPaintDarkGreyOnLightGrey) {
    MainWindow& w = load();
    for (int i = 0; i < 3; ++i) {
        Pixels p = printClient(w.label(i).hwnd());
        EXPECT_EQ(p.at(0, 0), kLightGrey);
        EXPECT_GT(countOf(p, kDarkGrey), 30) << "label " << i;
    }
}

// Red and green as the badges show them, blended edges left out.
bool reddish(ColorBGR c) { return GetRValue(c) > 180 && GetGValue(c) < 80 && GetBValue(c) < 80; }
bool greenish(ColorBGR c) { return GetGValue(c) > 130 && GetRValue(c) < 80 && GetBValue(c) < 110; }

TEST_F(MainWindowTest, ListDrawsTheBadgeOfEachRow) {
    MainWindow& w = load();
    VerdictSet set = intelSet();
    w.showVerdicts(set);
    Pixels p = printClient(w.list(), kWhite);
    for (int r = 0; r < static_cast<int>(set.rows.size()); ++r) {
        SCOPED_TRACE(r);
        RECT row{};
        row.left = LVIR_BOUNDS;
        ASSERT_TRUE(SendMessageW(w.list(), LVM_GETITEMRECT, r, reinterpret_cast<LPARAM>(&row)));
        ASSERT_LT(row.bottom, p.height) << "every row fits in the list";
        EXPECT_GE(row.bottom - row.top, 32) << "rows are as high as the state images";
        int red = 0, green = 0;
        for (int y = row.top; y < row.bottom; ++y) {
            for (int x = std::max<int>(0, row.left); x < row.left + 40; ++x) {
                red += reddish(p.at(x, y));
                green += greenish(p.at(x, y));
            }
        }
        bool check = set.rows[r].marker == Marker::Check;
        EXPECT_GT(check ? green : red, 300);
        EXPECT_EQ(check ? red : green, 0);
    }
}

// --- keys and the About button -----------------------------------------------------

void CALLBACK giveUp(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(99); }

// Runs the host's loop with a watchdog: 99 means the loop had to be stopped from outside.
int runLoopWithWatchdog() {
    UINT_PTR watchdog = SetTimer(nullptr, 0, 10000, giveUp);
    int result = runMessageLoop();
    KillTimer(nullptr, watchdog);
    return result;
}

struct EscapeCase {
    const char* name;
    HWND (*target)(const MainWindow&);
};

class EscapeKey : public MainWindowTest, public ::testing::WithParamInterface<EscapeCase> {};

TEST_P(EscapeKey, ClosesTheWindowAndEndsTheLoop) {
    MainWindow& w = load();
    HWND main = w.hwnd();
    PostMessageW(GetParam().target(w), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_EQ(runLoopWithWatchdog(), 0);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(w.hwnd(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, EscapeKey,
    ::testing::Values(EscapeCase{"window", [](const MainWindow& w) { return w.hwnd(); }},
                      EscapeCase{"list", [](const MainWindow& w) { return w.list(); }},
                      EscapeCase{"button", [](const MainWindow& w) { return w.aboutButton(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, CloseBoxEndsTheLoop) {
    MainWindow& w = load();
    HWND main = w.hwnd();
    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(runLoopWithWatchdog(), 0);
    EXPECT_FALSE(IsWindow(main));
}

struct ModalSeen {
    std::vector<HWND> abouts;
    bool mainEnabled = true;
    bool mainExists = false;
} modal;
HWND modalMain = nullptr;

void inspectAboutAndPressEscape() {
    modal.abouts = threadWindowsTitled("关于");
    modal.mainEnabled = IsWindowEnabled(modalMain) != FALSE;
    if (!modal.abouts.empty()) {
        HWND anyControl = GetWindow(modal.abouts[0], GW_CHILD);
        PostMessageW(anyControl, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    }
}

TEST_F(MainWindowTest, AboutButtonOpensTheAboutWindowModallyAndEscClosesItAlone) {
    MainWindow& w = load(nullptr);
    modal = {};
    modalMain = w.hwnd();
    runInNextLoop(inspectAboutAndPressEscape);
    SendMessageW(w.aboutButton(), BM_CLICK, 0, 0);  // returns when the About window has closed
    ASSERT_EQ(modal.abouts.size(), 1u);
    EXPECT_FALSE(modal.mainEnabled);
    EXPECT_FALSE(IsWindow(modal.abouts[0]));
    EXPECT_TRUE(IsWindow(w.hwnd())) << "Esc closed the About window only";
    EXPECT_TRUE(IsWindowEnabled(w.hwnd()));
    EXPECT_TRUE(threadWindowsTitled("关于").empty());
}

// --- controls that cannot be created ------------------------------------------------

struct RefusedCase {
    const char* name;
    const wchar_t* className;
    bool labels, group, list, button;  // which controls are still there
};

int createdCalls = 0;
void countAndFill(MainWindow& w) {
    ++createdCalls;
    w.showVerdicts(intelSet());
}

class RefusedControl : public MainWindowTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedControl, IsMissingWhileTheEventIsRaisedAndTheRestIsShownFilled) {
    const RefusedCase& c = GetParam();
    createdCalls = 0;
    window = std::make_unique<MainWindow>();
    {
        RefusedClass refused(c.className);
        EXPECT_TRUE(window->load(countAndFill));
        EXPECT_GT(refused.refusals(), 0) << "nothing of that class was refused";
    }
    MainWindow& w = *window;
    EXPECT_EQ(createdCalls, 1);
    EXPECT_TRUE(IsWindowVisible(w.hwnd()));
    VerdictSet set = intelSet();
    const std::string captions[3] = {set.VtEnabled.caption, set.BoardSupport.caption,
                                     set.CpuSupport.caption};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(w.label(i).hwnd() != nullptr, c.labels) << "label " << i;
        if (c.labels) {
            EXPECT_EQ(windowText(w.label(i).hwnd()), captions[i]) << "label " << i;
        }
    }
    EXPECT_EQ(w.groupBox() != nullptr, c.group);
    EXPECT_EQ(w.aboutButton() != nullptr, c.button);
    ASSERT_EQ(w.list() != nullptr, c.list);
    if (c.list) {
        ASSERT_EQ(ListView_GetItemCount(w.list()), 9);
        EXPECT_EQ(cellText(w.list(), 8, 0), "VMOutSideSMX");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Classes, RefusedControl,
    ::testing::Values(RefusedCase{"labels", L"KorvaneVerdictLabel", false, true, true, true},
                      RefusedCase{"buttons", L"Button", true, false, true, false},
                      RefusedCase{"list", L"SysListView32", true, true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
