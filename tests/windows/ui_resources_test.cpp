// The resources that resources.rc links into every program showing the
// windows (this test program included): icon, state images, About picture,
// manifest and version block, read back from the running executable.

#include <windows.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "text.h"
#include "ui/resources.h"

namespace {

struct Bytes {
    const std::uint8_t* data = nullptr;
    DWORD size = 0;
};

Bytes resource(const wchar_t* name, const wchar_t* type) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, name, type);
    if (!found) return {};
    return {static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found))),
            SizeofResource(module, found)};
}

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

TEST(Resources, IconIsOne48By45ImageOf32Bits) {
    Bytes group = resource(kIconResource, MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group.data, nullptr);
    ASSERT_GE(group.size, 6u + 14u);
    EXPECT_EQ(le16(group.data + 2), 1) << "an icon group";
    ASSERT_EQ(le16(group.data + 4), 1) << "one image";
    const std::uint8_t* entry = group.data + 6;
    EXPECT_EQ(entry[0], 48);
    EXPECT_EQ(entry[1], 45);
    EXPECT_EQ(le16(entry + 6), 32) << "bits per pixel";
    std::uint16_t id = le16(entry + 12);

    Bytes image = resource(MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3));  // RT_ICON
    ASSERT_NE(image.data, nullptr);
    BITMAPINFOHEADER header;
    std::memcpy(&header, image.data, sizeof header);
    EXPECT_EQ(header.biWidth, 48);
    EXPECT_EQ(header.biHeight, 90) << "colour and mask rows";
    EXPECT_EQ(header.biBitCount, 32);

    // Bottom-up BGRA: the grey die in the middle, the green package around it.
    auto pixel = [&](int x, int y) { return image.data + header.biSize + ((44 - y) * 48 + x) * 4; };
    const std::uint8_t* die = pixel(24, 22);
    EXPECT_EQ(die[3], 255);
    EXPECT_LE(std::abs(die[0] - die[2]), 16) << "grey";
    const std::uint8_t* package = pixel(10, 22);
    EXPECT_EQ(package[3], 255);
    EXPECT_GT(package[1], package[2] + 60) << "green";
    EXPECT_EQ(pixel(1, 1)[3], 0) << "transparent corner";
}

TEST(Resources, StateImagesAreTwo32By32OpaqueImages) {
    auto strip = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), kStateImagesResource,
                                                 IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(strip, nullptr);
    BITMAP shape{};
    GetObjectW(strip, sizeof shape, &shape);
    EXPECT_EQ(shape.bmWidth, 64);
    EXPECT_EQ(shape.bmHeight, 32);
    EXPECT_EQ(shape.bmBitsPixel, 32);
    ASSERT_NE(shape.bmBits, nullptr);
    const auto* bits = static_cast<const std::uint8_t*>(shape.bmBits);
    int translucent = 0;
    for (int i = 0; i < 64 * 32; ++i) translucent += bits[4 * i + 3] != 255;
    EXPECT_EQ(translucent, 0) << "opaque";
    DeleteObject(strip);
}

TEST(Resources, AboutPictureIsA714By380RgbaPng) {
    Bytes png = resource(kAboutPictureResource, MAKEINTRESOURCEW(10));  // RT_RCDATA
    ASSERT_NE(png.data, nullptr);
    ASSERT_GT(png.size, 33u);
    EXPECT_EQ(std::memcmp(png.data, "\x89PNG\r\n\x1a\n", 8), 0);
    EXPECT_EQ(std::memcmp(png.data + 12, "IHDR", 4), 0);
    EXPECT_EQ(be32(png.data + 16), 714u);
    EXPECT_EQ(be32(png.data + 20), 380u);
    EXPECT_EQ(png.data[24], 8) << "bits per channel";
    EXPECT_EQ(png.data[25], 6) << "RGB with alpha";
}

TEST(Resources, ManifestAsksForAdministratorAndCommonControls6) {
    Bytes manifest = resource(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(manifest.data, nullptr);
    std::string xml(reinterpret_cast<const char*>(manifest.data), manifest.size);
    for (const char* needed : {
             R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)",
             R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
             R"(processorArchitecture="x86" publicKeyToken="6595b64144ccf1df" language="*")",
             R"(<assemblyIdentity type="win32" name="Quorvel.KorvaneVT" version="1.0.0.0" )"
             R"(processorArchitecture="x86"/>)",
         }) {
        EXPECT_NE(xml.find(needed), std::string::npos) << needed;
    }
    EXPECT_EQ(xml.find("amd64"), std::string::npos) << "the host is a 32-bit program";

    // The loader honoured it: comctl32 comes from the version 6 assembly, not
    // from system32 (Wine's copy reports 5.81 from DllGetVersion either way).
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(LoadLibraryW(L"comctl32.dll"), path, MAX_PATH);
    std::string loaded = wideToUtf8(path);
    for (char& c : loaded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(loaded.find("microsoft.windows.common-controls_6595b64144ccf1df_6."),
              std::string::npos)
        << loaded;
}

class VersionBlock : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        DWORD ignored = 0;
        block.resize(GetFileVersionInfoSizeW(path, &ignored));
        ASSERT_FALSE(block.empty());
        ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(block.size()), block.data()));
    }
    std::string text(const wchar_t* name) {
        void* value = nullptr;
        UINT length = 0;
        std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + name;
        if (!VerQueryValueW(block.data(), path.c_str(), &value, &length)) return "<absent>";
        return wideToUtf8(static_cast<const wchar_t*>(value));
    }
    std::vector<std::uint8_t> block;
};

TEST_F(VersionBlock, FixedPart) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 4u);
    EXPECT_EQ(fixed->dwFileType, 1u);
}

TEST_F(VersionBlock, StringsAndTranslationForChinesePrcInUnicode) {
    EXPECT_EQ(text(L"FileVersion"), "1.0.0.0");
    EXPECT_EQ(text(L"ProductVersion"), "1.0.0.0");
    EXPECT_NE(text(L"CompanyName").find("Quorvel"), std::string::npos);
    EXPECT_NE(text(L"CompanyName").find("korvane.example"), std::string::npos);
    EXPECT_NE(text(L"FileDescription").find("虚拟化检测"), std::string::npos);
    EXPECT_EQ(text(L"ProductName"), "KorvaneVT");

    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u) << "one language and code page pair";
    EXPECT_EQ(translation[0], 0x0804);
    EXPECT_EQ(translation[1], 1200);
}

}  // namespace
