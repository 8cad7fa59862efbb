// readConfigValue over the real GetPrivateProfileStringA, with real files.

#include "config.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

namespace {

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        path_ = std::string(dir) + "korvane_config_test.ini";
        DeleteFileA(path_.c_str());
    }
    void TearDown() override { DeleteFileA(path_.c_str()); }

    void write(const std::string& content) {
        std::ofstream(path_, std::ios::binary) << content;
    }
    std::string showWindow() { return readConfigValue(path_, "config", "showWindow", "1"); }

    std::string path_;
};

TEST_F(ConfigFile, NoFileGivesTheDefault) { EXPECT_EQ(showWindow(), "1"); }

TEST_F(ConfigFile, ValuesAsStored) {
    struct Case {
        const char* content;
        const char* value;
        bool hides;
    } cases[] = {
        {"[config]\r\nshowWindow=0\r\n", "0", true},
        {"[config]\r\nshowWindow=1\r\n", "1", false},
        {"[config]\r\nshowWindow=\r\n", "", false},
        {"[config]\r\nshowWindow=00\r\n", "00", false},
        {"[config]\r\nshowWindow=false\r\n", "false", false},
        {"[config]\r\nshowWindow=no\r\n", "no", false},
        {"[other]\r\nshowWindow=0\r\n", "1", false},
        {"[config]\r\nshowWindows=0\r\n", "1", false},
        {"showWindow=0\r\n", "1", false},
        {"[config]\r\nlogFlag=0\r\n", "1", false},
        {"[other]\r\nshowWindow=1\r\n[config]\r\nshowWindow=0\r\n", "0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        write(c.content);
        std::string value = showWindow();
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(hidesWindow(value), c.hides);
    }
}

TEST_F(ConfigFile, ValueLongerThanTheBufferIsCut) {
    write("[config]\r\nshowWindow=" + std::string(20000, '7') + "\r\n");
    std::string value = showWindow();
    EXPECT_EQ(value, std::string(10239, '7'));
    EXPECT_FALSE(hidesWindow(value));
}

TEST(ReleaseConfig, EmptiesTheHeldTexts) {
    appConfig.configPath = "C:\\tools\\config.ini";
    appConfig.showWindow = "0";
    releaseConfig();
    EXPECT_TRUE(appConfig.configPath.empty());
    EXPECT_TRUE(appConfig.showWindow.empty());
}

}  // namespace
