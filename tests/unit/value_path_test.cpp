#include "registry/value_path.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct SplitCase {
    const char* label;
    std::string path;
    std::int32_t keyOnly;
    std::string name;
    std::string keyPath;
    std::int32_t keyOnlyAfter;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.label; }

class SplitValuePath : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitValuePath, GivesNameKeyPathAndFlag) {
    const SplitCase& c = GetParam();
    std::string path = c.path;
    std::int32_t keyOnly = c.keyOnly;
    EXPECT_EQ(splitValuePath(path, keyOnly), c.name);
    EXPECT_EQ(path, c.keyPath);
    EXPECT_EQ(keyOnly, c.keyOnlyAfter);
}

// "\x81\\" and "\x95\\" are double-byte characters (GBK, Shift-JIS) whose
// second byte has the value of a backslash.
INSTANTIATE_TEST_SUITE_P(
    Table, SplitValuePath,
    ::testing::Values(
        SplitCase{"Normal", "SOFTWARE\\Quorvel\\CPU_VT", 0, "CPU_VT", "SOFTWARE\\Quorvel", 0},
        SplitCase{"OneLevel", "Quorvel\\VM_CR", 0, "VM_CR", "Quorvel", 0},
        SplitCase{"TrailingBackslash", "SOFTWARE\\Quorvel\\", 0, "", "SOFTWARE\\Quorvel\\", 1},
        SplitCase{"OnlyBackslash", "\\", 0, "", "\\", 1},
        SplitCase{"NoBackslash", "SOFTWARE", 0, "", "SOFTWARE", 0},
        SplitCase{"BackslashFirst", "\\CPU_VT", 0, "CPU_VT", "", 0},
        SplitCase{"KeyOnlyGiven", "SOFTWARE\\Quorvel\\CPU_VT", 1, "", "SOFTWARE\\Quorvel\\CPU_VT",
                  1},
        SplitCase{"KeyOnlyGivenNotOne", "SOFTWARE\\CPU_VT", 2, "", "SOFTWARE\\CPU_VT", 2},
        SplitCase{"Empty", "", 0, "", "", 0},
        SplitCase{"SecondByteIsNoSeparator", "Key\\A\x81\\B", 0, "A\x81\\B", "Key", 0},
        SplitCase{"OnlySecondBytes", "A\x81\\B\x95\\C", 0, "", "A\x81\\B\x95\\C", 0},
        SplitCase{"PairBeforeSeparator", "\x81\x40\\v", 0, "v", "\x81\x40", 0},
        SplitCase{"LastByteChecksOnlyTheByte", "Key\\A\x95\\", 0, "", "Key\\A\x95\\", 1},
        SplitCase{"LeadByteLast", "Key\\name\x95", 0, "name\x95", "Key", 0},
        SplitCase{"LeadByteAlone", "\x95", 0, "", "\x95", 0},
        // Longer than the short-string buffer: the text sits in an exactly sized
        // heap block, so a walk past its end trips AddressSanitizer.
        SplitCase{"LeadByteLastLongText", "SOFTWARE\\Quorvel\\CPU_VT\x95", 0, "CPU_VT\x95",
                  "SOFTWARE\\Quorvel", 0},
        SplitCase{"LeadByteLastAfterSeparator", "Key\\\x95", 0, "\x95", "Key", 0}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.label; });

struct IntCase {
    const char* label;
    std::vector<unsigned char> data;
    std::int32_t expected;
};

void PrintTo(const IntCase& c, std::ostream* os) { *os << c.label; }

class DataToInt : public ::testing::TestWithParam<IntCase> {};

// The data live in an exactly sized heap block: AddressSanitizer stops any read past it.
TEST_P(DataToInt, ReadsFirstFourBytesLittleEndian) {
    const IntCase& c = GetParam();
    EXPECT_EQ(dataToInt(c.data.data(), c.data.size()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DataToInt,
    ::testing::Values(
        IntCase{"NoBytes", {}, 0}, IntCase{"OneByte", {0x31}, 0x31},
        IntCase{"OneHighByteIsNotSignExtended", {0xFF}, 0xFF},
        IntCase{"TwoBytes", {0x34, 0x12}, 4660},
        IntCase{"ThreeBytes", {0x01, 0x02, 0x03}, 0x030201}, IntCase{"DwordOne", {1, 0, 0, 0}, 1},
        IntCase{"DwordZero", {0, 0, 0, 0}, 0}, IntCase{"AllOnes", {0xFF, 0xFF, 0xFF, 0xFF}, -1},
        IntCase{"TextOne", {0x31, 0x00}, 49},
        IntCase{"TextGenuineIntel", {'G', 'e', 'n', 'u', 'i', 'n', 'e', 0}, 1970169159},
        IntCase{
            "EightBytesGiveLowHalf", {0x78, 0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89}, 0x12345678}),
    [](const ::testing::TestParamInfo<IntCase>& info) { return info.param.label; });

struct TextCase {
    const char* label;
    std::vector<unsigned char> data;
    std::string expected;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.label; }

class DataToText : public ::testing::TestWithParam<TextCase> {};

// Exactly sized heap blocks again: a text without a zero byte must stop at the size.
TEST_P(DataToText, StopsAtFirstZeroOrAtTheEnd) {
    const TextCase& c = GetParam();
    EXPECT_EQ(dataToText(c.data.data(), c.data.size()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DataToText,
    ::testing::Values(TextCase{"Empty", {}, ""}, TextCase{"NoZeroOneByte", {'x'}, "x"},
                      TextCase{"NoZeroAtAll", {'a', 'b', 'c', 'd', 'e', 'f', 'g'}, "abcdefg"},
                      TextCase{"NoZeroHighBytes", {0xB0, 0xA1}, "\xB0\xA1"},
                      TextCase{"ZeroFirst", {0, 'a', 'b'}, ""},
                      TextCase{"ZeroInMiddle", {'a', 'b', 0, 'c'}, "ab"},
                      TextCase{"ZeroLast", {'1', 0}, "1"},
                      TextCase{"DwordOne", {1, 0, 0, 0}, "\x01"},
                      TextCase{"DwordZero", {0, 0, 0, 0}, ""}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return info.param.label; });

}  // namespace
