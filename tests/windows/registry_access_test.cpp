// RegistryAccess against the real registry of a throwaway Wine prefix.
#include "registry/registry_access.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

const char* const kScratch = "SOFTWARE\\KorvaneVTTest";
const char* const kUserScratch = "KorvaneVTTest";

using Bytes = std::vector<unsigned char>;

Bytes textBytes(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

Bytes dwordBytes(std::uint32_t value) {
    return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
}

HKEY createKey(HKEY root, const char* path, REGSAM view) {
    HKEY key = nullptr;
    LONG status =
        RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    EXPECT_EQ(status, ERROR_SUCCESS) << path;
    return key;
}

void setValue(HKEY key, const char* name, DWORD type, const Bytes& data) {
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS)
        << name;
}

void deleteTree(HKEY root, const char* parent, const char* child, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, parent, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    RegDeleteTreeA(key, child);
    RegCloseKey(key);
}

std::int32_t dwordIn32BitView(const char* path, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG status = RegGetValueA(HKEY_LOCAL_MACHINE, path, name,
                               RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6432KEY, nullptr, &value, &size);
    return status == ERROR_SUCCESS ? static_cast<std::int32_t>(value) : -1000;
}

// Plants the values of every case in HKLM\SOFTWARE\KorvaneVTTest (64-bit view),
// a differing copy of one value in the 32-bit view, and a default value under
// HKCU\KorvaneVTTest; removes all of it again afterwards.
class ScratchRegistry : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        removeAll();
        HKEY key = createKey(HKEY_LOCAL_MACHINE, kScratch, KEY_WOW64_64KEY);
        setValue(key, "DwordOne", REG_DWORD, dwordBytes(1));
        setValue(key, "DwordZero", REG_DWORD, dwordBytes(0));
        setValue(key, "DwordAllOnes", REG_DWORD, dwordBytes(0xFFFFFFFF));
        setValue(key, "TextOne", REG_SZ, textBytes("1"));
        setValue(key, "Vendor", REG_SZ, textBytes("GenuineIntel"));
        setValue(key, "EmptyText", REG_SZ, textBytes(""));
        setValue(key, "TwoBytes", REG_BINARY, {0x34, 0x12});
        setValue(key, "EightBytes", REG_QWORD, {0x78, 0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89});
        setValue(key, "NoData", REG_BINARY, {});
        setValue(key, "Binary1", REG_BINARY, {'A'});
        setValue(key, "Binary3", REG_BINARY, {'A', 'B', 'C'});
        setValue(key, "Binary5", REG_BINARY, {'A', 'B', 'C', 'D', 'E'});
        setValue(key, "Binary300", REG_BINARY, Bytes(300, 'x'));
        setValue(key, "BothViews", REG_DWORD, dwordBytes(64));
        setValue(key, nullptr, REG_SZ, textBytes("machine default"));
        RegCloseKey(key);

        key = createKey(HKEY_LOCAL_MACHINE, kScratch, KEY_WOW64_32KEY);
        setValue(key, "BothViews", REG_DWORD, dwordBytes(32));
        setValue(key, "Only32", REG_DWORD, dwordBytes(1));
        RegCloseKey(key);

        key = createKey(HKEY_CURRENT_USER, kUserScratch, 0);
        setValue(key, nullptr, REG_SZ, textBytes("user default"));
        RegCloseKey(key);
    }

    static void TearDownTestSuite() { removeAll(); }

    static void removeAll() {
        deleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE", "KorvaneVTTest", KEY_WOW64_64KEY);
        deleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE", "KorvaneVTTest", KEY_WOW64_32KEY);
        RegDeleteTreeA(HKEY_CURRENT_USER, kUserScratch);
    }

    RegistryAccess access;
};

struct ReadCase {
    const char* label;
    std::int32_t code;
    std::string path;
    std::int32_t expectedInt;
    std::string expectedText;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.label; }

class RegistryRead : public ScratchRegistry, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(RegistryRead, GivesStoredDataOrNeutralResult) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(access.readInt(c.code, c.path), c.expectedInt);
    EXPECT_EQ(access.readText(c.code, c.path), c.expectedText);
}

const std::string k = std::string(kScratch) + "\\";

INSTANTIATE_TEST_SUITE_P(
    Table, RegistryRead,
    ::testing::Values(
        ReadCase{"DwordOne", 4, k + "DwordOne", 1, "\x01"},
        ReadCase{"DwordZero", 4, k + "DwordZero", 0, ""},
        ReadCase{"DwordAllOnes", 4, k + "DwordAllOnes", -1, "\xFF\xFF\xFF\xFF"},
        ReadCase{"TextOne", 4, k + "TextOne", 49, "1"},
        ReadCase{"TextGenuineIntel", 4, k + "Vendor", 1970169159, "GenuineIntel"},
        ReadCase{"EmptyText", 4, k + "EmptyText", 0, ""},
        ReadCase{"TwoBytes", 4, k + "TwoBytes", 4660, "\x34\x12"},
        ReadCase{"EightBytesGiveLowHalf", 4, k + "EightBytes", 0x12345678,
                 "\x78\x56\x34\x12\xEF\xCD\xAB\x89"},
        ReadCase{"ValueWithNoData", 4, k + "NoData", 0, ""},
        ReadCase{"BinaryOneByteNoZero", 4, k + "Binary1", 0x41, "A"},
        ReadCase{"BinaryThreeBytesNoZero", 4, k + "Binary3", 0x434241, "ABC"},
        ReadCase{"BinaryFiveBytesNoZero", 4, k + "Binary5", 0x44434241, "ABCDE"},
        ReadCase{"BinaryLongNoZero", 4, k + "Binary300", 0x78787878, std::string(300, 'x')},
        ReadCase{"TrailingBackslashReadsDefault", 4, k, 0x6863616D, "machine default"},
        ReadCase{"NoBackslashReadsDefault", 3, kUserScratch, 0x72657375, "user default"},
        ReadCase{"SixtyFourBitViewWins", 4, k + "BothViews", 64, "\x40"},
        ReadCase{"OnlyIn32BitView", 4, k + "Only32", 0, ""},
        ReadCase{"MissingValue", 4, k + "Absent", 0, ""},
        ReadCase{"MissingKey", 4, k + "Absent\\DwordOne", 0, ""},
        ReadCase{"RootCodeZero", 0, k + "DwordOne", 0, ""},
        ReadCase{"RootCodeSix", 6, k + "DwordOne", 0, ""},
        ReadCase{"RootCodeNegative", -1, k + "DwordOne", 0, ""},
        ReadCase{"RootCodeOtherRoot", 3, k + "DwordOne", 0, ""}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return info.param.label; });

TEST_F(ScratchRegistry, BothViewsReallyHoldDifferentData) {
    EXPECT_EQ(dwordIn32BitView(kScratch, "BothViews"), 32);
    EXPECT_EQ(dwordIn32BitView(kScratch, "Only32"), 1);
}

// This suite is a 32-bit program, like the host, under WoW64.
TEST_F(ScratchRegistry, WoW64IsA64BitSystem) { EXPECT_EQ(access.is64BitSystem, 1); }

// In a 32-bit process C:\windows\system32 leads to syswow64 while file-system
// redirection is on: a file planted only in syswow64 tells the thread's state.
class Redirection : public ScratchRegistry, public ::testing::WithParamInterface<bool> {
protected:
    static constexpr const char* kPlanted = "C:\\windows\\syswow64\\korvane-redirection-marker";
    static constexpr const char* kSeen = "C:\\windows\\system32\\korvane-redirection-marker";
    void SetUp() override {
        HANDLE file = CreateFileA(kPlanted, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
        ASSERT_TRUE(redirected()) << "redirection is on when a thread starts";
    }
    void TearDown() override { DeleteFileA(kPlanted); }
    static bool redirected() { return GetFileAttributesA(kSeen) != INVALID_FILE_ATTRIBUTES; }
};

TEST_P(Redirection, EveryReadLeavesItAsItFoundIt) {
    const bool on = GetParam();
    PVOID old = nullptr;
    if (!on) {
        ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old));
        ASSERT_FALSE(redirected());
    }
    for (const std::string& path : {k + "DwordOne", k + "Vendor", k + "Absent", k + "Absent\\X", k}) {
        SCOPED_TRACE(path);
        access.readInt(4, path);
        EXPECT_EQ(redirected(), on) << "after readInt";
        access.readText(4, path);
        EXPECT_EQ(redirected(), on) << "after readText";
    }
    if (!on) Wow64RevertWow64FsRedirection(old);
}

INSTANTIATE_TEST_SUITE_P(States, Redirection, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

// On a 32-bit Windows nothing is read, not even values that exist.
TEST_F(ScratchRegistry, WithoutA64BitSystemEveryReadIsNeutral) {
    access.is64BitSystem = 0;
    EXPECT_EQ(access.readInt(4, k + "DwordOne"), 0);
    EXPECT_EQ(access.readText(4, k + "Vendor"), "");
    EXPECT_EQ(access.readText(3, kUserScratch), "");
}

// Wine hands out the lowest free handle slot, so a key handle left open by any
// read shows as a different handle for the next key opened afterwards.
TEST_F(ScratchRegistry, EveryReadClosesItsKey) {
    auto nextHandle = [] {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_QUERY_VALUE, &key),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        return key;
    };
    HKEY before = nextHandle();
    for (const char* name : {"DwordOne", "Vendor", "NoData", "Binary300", "Absent", "Absent\\X"}) {
        access.readInt(4, k + name);
        access.readText(4, k + name);
    }
    access.readText(4, k);
    access.readText(3, kUserScratch);
    EXPECT_EQ(nextHandle(), before);
}

TEST(RegistryAccess, RootKeyHandleTable) {
    RegistryAccess access;
    EXPECT_EQ(access.rootKeyHandle(1), HKEY_CLASSES_ROOT);
    EXPECT_EQ(access.rootKeyHandle(2), HKEY_CURRENT_CONFIG);
    EXPECT_EQ(access.rootKeyHandle(3), HKEY_CURRENT_USER);
    EXPECT_EQ(access.rootKeyHandle(4), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(access.rootKeyHandle(5), HKEY_USERS);
    for (std::int32_t code : {0, 6, -1, 7, 0x7FFFFFFF})
        EXPECT_EQ(access.rootKeyHandle(code), nullptr) << code;
}

TEST(RegistryAccess, SplitValuePathSplitsAtLastBackslash) {
    RegistryAccess access;
    std::string path = "SOFTWARE\\Quorvel\\CPU_VT";
    std::int32_t keyOnly = 0;
    EXPECT_EQ(access.splitValuePath(path, keyOnly), "CPU_VT");
    EXPECT_EQ(path, "SOFTWARE\\Quorvel");
    EXPECT_EQ(keyOnly, 0);

    path = "SOFTWARE\\Quorvel\\";
    EXPECT_EQ(access.splitValuePath(path, keyOnly), "");
    EXPECT_EQ(path, "SOFTWARE\\Quorvel\\");
    EXPECT_EQ(keyOnly, 1);
}

}  // namespace
