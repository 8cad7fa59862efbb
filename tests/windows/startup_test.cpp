// The real host's start-up as config.ini and the command line shape it: only
// showWindow of exactly "0" in section config keeps the window hidden.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "host_process.h"

namespace {

const DWORD kWaitMs = 30000;

TEST(StartUp, ConfigurationDecidesWhetherTheWindowIsShown) {
    createProbeKey();

    struct Case {
        const wchar_t* name;
        const char* config;  // null: no config.ini at all
        const wchar_t* arguments;
        bool shown;
    } cases[] = {
        {L"none", nullptr, L"", true},
        {L"zero", "[config]\r\nshowWindow=0\r\n", L"", false},
        {L"zero-spaced", "[config]\r\nshowWindow = 0 \r\n", L"", false},
        {L"one", "[config]\r\nshowWindow=1\r\n", L"", true},
        {L"other-section", "[settings]\r\nshowWindow=0\r\n", L"", true},
        {L"other-key", "[config]\r\nshowwindows=0\r\n", L"", true},
        {L"empty", "[config]\r\nshowWindow=\r\n", L"", true},
        {L"double-zero", "[config]\r\nshowWindow=00\r\n", L"", true},
        {L"false", "[config]\r\nshowWindow=false\r\n", L"", true},
        {L"long", nullptr, L"", true},
        {L"arguments", nullptr, L"showWindow=0 /config:config.ini --hidden", true},
        {L"arguments-hidden", "[config]\r\nshowWindow=0\r\n", L"showWindow=1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        HostDirectory dir(std::wstring(L"startup-") + c.name);
        if (c.config != nullptr) dir.writeFile(L"config.ini", c.config);
        if (std::wstring(c.name) == L"long") {
            dir.writeFile(L"config.ini", "[config]\r\nshowWindow=0" + std::string(20000, '0') + "\r\n");
        }
        HostProcess host(dir, c.arguments);
        ASSERT_TRUE(host.started());
        HWND window = host.waitForWindow(kWaitMs);
        ASSERT_NE(window, nullptr);
        if (c.shown) {
            EXPECT_NE(host.waitForVisibleWindow(kWaitMs), nullptr);
            EXPECT_EQ(host.closeAndWait(), 0u);
        } else {
            for (int i = 0; i < 15; ++i) {  // it must never show
                EXPECT_FALSE(IsWindowVisible(window));
                Sleep(100);
            }
            EXPECT_TRUE(host.running());
        }
    }
}

}  // namespace
