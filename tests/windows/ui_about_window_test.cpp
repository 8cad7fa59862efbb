// The About window created in-process under Wine and read back: frame,
// layout, the text byte for byte, the link's hover and click, the picture's
// clipping, and modality.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "text.h"
#include "ui/about_window.h"
#include "ui/main_window.h"
#include "ui/png_decoder.h"
#include "ui_test_support.h"

namespace {

const std::string kParagraph1 =
    "    经过测试，VT/虚拟化开启可以缓解最近很多游戏的CPU占用高，崩溃无法进入游戏等问题，以及早先的"
    "蓝屏问题。本程序可以详细查看本机的VT开启详情。特别感谢: Harrowen";
const std::string kParagraph2 =
    "    如果想批量集中检测您所有电脑的VT开启情况，请使用Kestrin日志中的VT检测功能，如下图：";

void CALLBACK giveUp(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(99); }

// An open About window.
class AboutWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        about = std::make_unique<AboutWindow>();
        ASSERT_TRUE(about->create());
    }
    void TearDown() override {
        about.reset();
        main.reset();
        drainMessages();
    }
    // runModal with a watchdog; gives whether the window closed by itself.
    bool runModalUntilClosed() {
        UINT_PTR watchdog = SetTimer(nullptr, 0, 10000, giveUp);
        about->runModal();
        KillTimer(nullptr, watchdog);
        return about->hwnd() == nullptr;
    }
    std::unique_ptr<MainWindow> main;
    std::unique_ptr<AboutWindow> about;
};

TEST_F(AboutWindowTest, FrameTitleSizeAndPosition) {
    HWND w = about->hwnd();
    EXPECT_EQ(windowText(w), "关于");
    RECT outer;
    GetWindowRect(w, &outer);
    EXPECT_EQ(outer.right - outer.left, 733);
    EXPECT_EQ(outer.bottom - outer.top, 423);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 733) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 423) / 2);
    EXPECT_TRUE(IsWindowVisible(w));

    auto style = static_cast<DWORD>(GetWindowLongPtrW(w, GWL_STYLE));
    auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(w, GWL_EXSTYLE));
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(exStyle & WS_EX_TOPMOST);
    EXPECT_FALSE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetWindow(w, GW_OWNER), nullptr) << "loaded with no parent window";
    EXPECT_EQ(GetMenu(w), nullptr);

    auto brush = reinterpret_cast<HBRUSH>(GetClassLongPtrW(w, GCLP_HBRBACKGROUND));
    LOGBRUSH fill{};
    ASSERT_NE(GetObjectW(brush, sizeof fill, &fill), 0);
    EXPECT_EQ(fill.lbColor, GetSysColor(COLOR_BTNFACE));
    EXPECT_NE(GetClassLongPtrW(w, GCLP_HICON), 0);
    EXPECT_NE(GetClassLongPtrW(w, GCLP_HICONSM), 0);
}

TEST_F(AboutWindowTest, ControlsSitWhereTheLayoutPutsThem) {
    struct {
        const char* name;
        HWND control;
        RECT bounds;
    } cases[] = {
        {"text", about->textLabel(), {8, 10, 720, 74}},
        {"link", about->link().hwnd(), {8, 67, 280, 96}},
        {"picture", about->picture().hwnd(), {7, 101, 719, 373}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.control, nullptr);
        EXPECT_EQ(GetParent(c.control), about->hwnd());
        RECT r = boundsInParent(c.control);
        EXPECT_EQ(r.left, c.bounds.left);
        EXPECT_EQ(r.top, c.bounds.top);
        EXPECT_EQ(r.right, c.bounds.right);
        EXPECT_EQ(r.bottom, c.bounds.bottom);
        EXPECT_FALSE(GetWindowLongPtrW(c.control, GWL_STYLE) & (WS_BORDER | WS_DLGFRAME));
        EXPECT_FALSE(GetWindowLongPtrW(c.control, GWL_EXSTYLE) &
                     (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
    }
}

// --- the text label -------------------------------------------------------------

TEST_F(AboutWindowTest, TextIsTwoParagraphsJoinedByCrLf) {
    std::string text = windowText(about->textLabel());
    EXPECT_EQ(text, kParagraph1 + "\r\n" + kParagraph2);
    EXPECT_EQ(text.find("\r\n"), kParagraph1.size());
    EXPECT_EQ(text.find("\r\n", kParagraph1.size() + 2), std::string::npos);
    EXPECT_NE(text.find("特别感谢: Harrowen"), std::string::npos) << "ASCII colon and space";
}

TEST_F(AboutWindowTest, TextIsBlackOnNoBackgroundOfItsOwn) {
    HWND label = about->textLabel();
    LOGFONTW gui{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
    EXPECT_EQ(std::wstring(fontOf(label).lfFaceName), std::wstring(gui.lfFaceName));
    EXPECT_EQ(GetWindowLongPtrW(label, GWL_STYLE) & SS_TYPEMASK, SS_LEFT);

    HDC dc = CreateCompatibleDC(nullptr);
    LRESULT brush = SendMessageW(about->hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(label));
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    DeleteDC(dc);

    // Painted over magenta: magenta stays wherever there is no text.
    Pixels p = printClient(label, 0xFF00FF);
    EXPECT_EQ(p.at(p.width - 1, p.height - 1), 0xFF00FFu);
    int lines = 0;
    bool inLine = false;
    int lastInk = -1;
    for (int y = 0; y < p.height; ++y) {
        bool ink = false;
        for (int x = 0; x < p.width && !ink; ++x) ink = p.at(x, y) == 0x000000;
        if (ink && !inLine) ++lines;
        if (ink) lastInk = y;
        inLine = ink;
    }
    EXPECT_GE(lines, 3) << "the first paragraph wraps, the second starts its own line";
    EXPECT_LT(lastInk, p.height - 1) << "the last line is not cut off";
}

// --- the link -----------------------------------------------------------------------

bool blue(ColorBGR c) { return GetRValue(c) < 80 && GetGValue(c) < 80 && GetBValue(c) > 180; }

// Rows in which blue runs across most of the link: the underline.
int underlineRows(const Pixels& p, const RECT& link) {
    int rows = 0;
    for (int y = link.top; y < std::min<int>(p.height, link.bottom + 2); ++y) {
        int n = 0;
        for (int x = link.left; x < link.right; ++x) n += blue(p.at(x, y));
        rows += n >= (link.right - link.left) * 8 / 10;
    }
    return rows;
}

TEST_F(AboutWindowTest, LinkIsNinePointBlueAndFitsTheBox) {
    const HypertextBox& link = about->link();
    LOGFONTW font{};
    GetObjectW(link.font(), sizeof font, &font);
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(wideToUtf8(font.lfFaceName), "宋体") << "the first family of the style sheet";
    EXPECT_EQ(font.lfHeight, -MulDiv(9, dpi, 72));
    EXPECT_FALSE(font.lfUnderline);
    EXPECT_EQ(windowText(link.hwnd()), "");

    RECT client;
    GetClientRect(link.hwnd(), &client);
    RECT r = link.linkRect();
    EXPECT_GE(r.left, 0);
    EXPECT_LE(r.right, client.right) << "the whole link text is visible";
    EXPECT_LE(r.bottom, client.bottom);

    Pixels p = printClient(link.hwnd());
    EXPECT_EQ(p.at(0, 0), GetSysColor(COLOR_BTNFACE));
    int bluePixels = 0;
    for (ColorBGR c : p.data) bluePixels += blue(c);
    EXPECT_GT(bluePixels, 100);
    EXPECT_EQ(underlineRows(p, r), 0);
}

struct HoverCase {
    const char* name;
    void (*act)(const HypertextBox&);
    bool hovered;
};

LPARAM linkCentre(const HypertextBox& b) {
    RECT r = b.linkRect();
    return MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

const HoverCase kHoverCases[] = {
    {"over_link",
     [](const HypertextBox& b) { SendMessageW(b.hwnd(), WM_MOUSEMOVE, 0, linkCentre(b)); }, true},
    {"beside_link",
     [](const HypertextBox& b) {
         RECT r = b.linkRect();
         SendMessageW(b.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(r.right + 4, (r.top + r.bottom) / 2));
     },
     false},
    {"over_then_away",
     [](const HypertextBox& b) {
         SendMessageW(b.hwnd(), WM_MOUSEMOVE, 0, linkCentre(b));
         SendMessageW(b.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
     },
     false},
    {"over_then_left_the_box",
     [](const HypertextBox& b) {
         SendMessageW(b.hwnd(), WM_MOUSEMOVE, 0, linkCentre(b));
         SendMessageW(b.hwnd(), WM_MOUSELEAVE, 0, 0);
     },
     false},
};

class LinkHover : public AboutWindowTest, public ::testing::WithParamInterface<HoverCase> {};

TEST_P(LinkHover, UnderlinesOnlyUnderThePointer) {
    const HypertextBox& link = about->link();
    GetParam().act(link);
    EXPECT_EQ(link.linkHovered(), GetParam().hovered);
    int rows = underlineRows(printClient(link.hwnd()), link.linkRect());
    if (GetParam().hovered) {
        EXPECT_GE(rows, 1);
    } else {
        EXPECT_EQ(rows, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Moves, LinkHover, ::testing::ValuesIn(kHoverCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A click hands the target to the shell. A scheme of the test's own, whose
// "open" command appends its argument to a file, stands in for the browser.
// Wine's shell looks schemes up in HKCR itself, not in HKCU\Software\Classes.
class LinkClick : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        record = std::wstring(temp) + L"korvane_link_record.txt";
        DeleteFileW(record.c_str());
        std::wstring command = L"C:\\windows\\system32\\cmd.exe /c echo %1>>\"" + record + L"\"";
        HKEY scheme;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kSchemeKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &scheme, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(scheme, L"URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), 2);
        RegCloseKey(scheme);
        ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, kCommandKey, nullptr, REG_SZ, command.c_str(),
                                  static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 40, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(box.create(parent, {0, 0, 272, 29}, "点此查看最新版本 korvane.example",
                               "korvanetest:clicked-link"));
    }
    void TearDown() override {
        DestroyWindow(parent);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kSchemeKey);
        DeleteFileW(record.c_str());
    }
    void click(LPARAM down, LPARAM up) {
        SendMessageW(box.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, down);
        SendMessageW(box.hwnd(), WM_LBUTTONUP, 0, up);
    }
    // The lines recorded so far, waiting up to `wait` ms for at least `want` of them.
    std::vector<std::string> recorded(std::size_t want, DWORD wait) {
        std::vector<std::string> lines;
        for (DWORD start = GetTickCount(); GetTickCount() - start < wait; Sleep(100)) {
            lines.clear();
            std::ifstream in(wideToUtf8(record).c_str(), std::ios::binary);
            std::string line;
            while (std::getline(in, line)) {
                while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                    line.pop_back();
                lines.push_back(line);
            }
            if (lines.size() >= want) break;
        }
        return lines;
    }
    static constexpr const wchar_t* kSchemeKey = L"korvanetest";
    static constexpr const wchar_t* kCommandKey = L"korvanetest\\shell\\open\\command";
    std::wstring record;
    HWND parent = nullptr;
    HypertextBox box;
};

TEST_F(LinkClick, OnlyAClickOnTheLinkOpensItsTarget) {
    RECT r = box.linkRect();
    LPARAM on = linkCentre(box);
    LPARAM beside = MAKELPARAM(r.right + 4, (r.top + r.bottom) / 2);
    click(beside, beside);  // the box outside the link does nothing
    click(on, beside);      // pressed on the link, released beside it: no click
    click(beside, on);      // pressed beside it: no click either
    click(on, on);
    std::vector<std::string> lines = recorded(1, 15000);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "korvanetest:clicked-link");
    EXPECT_EQ(recorded(2, 1500).size(), 1u) << "no other click reached the shell";
}

// --- the picture ----------------------------------------------------------------------

TEST_F(AboutWindowTest, PictureIsShownUnscaledAndClipped) {
    const PictureBox& picture = about->picture();
    EXPECT_EQ(picture.imageSize().cx, 714);
    EXPECT_EQ(picture.imageSize().cy, 380);
    Pixels image = bitmapPixels(picture.image());
    ASSERT_EQ(image.width, 714);
    ASSERT_EQ(image.height, 380);
    Pixels shown = printClient(picture.hwnd());
    ASSERT_EQ(shown.width, 712);
    ASSERT_EQ(shown.height, 272);
    int differing = 0;
    for (int y = 0; y < 272; ++y) {
        for (int x = 0; x < 712; ++x) differing += shown.at(x, y) != image.at(x, y);
    }
    EXPECT_EQ(differing, 0) << "pixel (x, y) of the box is pixel (x, y) of the opaque image";
    // The picture's red outline around the CPU column is in the visible part.
    int red = 0;
    for (ColorBGR c : shown.data)
        red += GetRValue(c) > 200 && GetGValue(c) < 40 && GetBValue(c) < 40;
    EXPECT_GT(red, 300);
}

TEST(PngDecoder, RefusesBytesThatAreNoImage) {
    const char garbage[] = "\x89PNG\r\n\x1a\n but nothing after the signature";
    SIZE size{-1, -1};
    EXPECT_EQ(decodePng(garbage, sizeof garbage, size), nullptr);
    EXPECT_EQ(size.cx, -1) << "the size is left alone";
}

TEST(PictureBoxCreation, WithoutItsImageIsAnEmptyBoxInTheFaceColour) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    PictureBox box;
    EXPECT_TRUE(box.create(parent, {0, 0, 10, 10}, L"NO_SUCH_PICTURE"));
    ASSERT_NE(box.hwnd(), nullptr);
    EXPECT_EQ(GetParent(box.hwnd()), parent);
    EXPECT_EQ(box.image(), nullptr);
    Pixels shown = printClient(box.hwnd());
    ASSERT_EQ(shown.width, 10);
    ASSERT_EQ(shown.height, 10);
    for (ColorBGR c : shown.data) ASSERT_EQ(c, GetSysColor(COLOR_BTNFACE));
    DestroyWindow(parent);
}

// --- modality --------------------------------------------------------------------------

// An About window opened over the shown main window, the way its button opens it.
class AboutModalTest : public AboutWindowTest {
  protected:
    void SetUp() override {
        main = std::make_unique<MainWindow>();
        ASSERT_TRUE(main->load(nullptr));
        AboutWindowTest::SetUp();
    }
};

TEST_F(AboutModalTest, OpenAboutWindowDisablesTheMainWindow) {
    EXPECT_FALSE(IsWindowEnabled(main->hwnd()));
    EXPECT_TRUE(IsWindowEnabled(about->hwnd()));
}

struct CloseCase {
    const char* name;
    void (*close)(const AboutWindow&);
};

const CloseCase kCloseCases[] = {
    {"close_box", [](const AboutWindow& a) { PostMessageW(a.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
    {"alt_f4_close", [](const AboutWindow& a) { PostMessageW(a.hwnd(), WM_CLOSE, 0, 0); }},
    {"esc_in_window",
     [](const AboutWindow& a) { PostMessageW(a.hwnd(), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
    {"esc_in_link",
     [](const AboutWindow& a) {
         PostMessageW(a.link().hwnd(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
     }},
};

class AboutClose : public AboutModalTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(AboutClose, ClosesTheAboutWindowAloneAndEnablesTheMainWindow) {
    HWND window = about->hwnd();
    GetParam().close(*about);
    EXPECT_TRUE(runModalUntilClosed());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(IsWindow(main->hwnd()));
    EXPECT_TRUE(IsWindowEnabled(main->hwnd()));
}

INSTANTIATE_TEST_SUITE_P(Ways, AboutClose, ::testing::ValuesIn(kCloseCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AboutModalTest, EscapeIgnoresTheDisabledMainWindow) {
    PostMessageW(main->list(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(about->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(runModalUntilClosed());
    EXPECT_TRUE(IsWindow(main->hwnd())) << "Esc reached a disabled window and closed it";
}

TEST_F(AboutModalTest, QuitDuringTheModalLoopIsHandedToTheOuterLoop) {
    PostQuitMessage(7);
    EXPECT_FALSE(runModalUntilClosed());
    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
    about.reset();  // destroying the window gives the main window back
    EXPECT_TRUE(IsWindowEnabled(main->hwnd()));
}

}  // namespace
