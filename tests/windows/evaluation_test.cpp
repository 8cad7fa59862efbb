// The host's registry side of verdict evaluation, against the real registry of
// a throwaway Wine prefix.
#include "ui/evaluation.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cpuid.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

const char* const kScratch = "SOFTWARE\\KorvaneVTTest";
const char* const kProbeKey = "SOFTWARE\\Quorvel";

using Bytes = std::vector<unsigned char>;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes withZero(const std::string& text) {
    Bytes bytes = bytesOf(text);
    bytes.push_back(0);
    return bytes;
}

// The probe key lives in the 64-bit view; readRegistryString reads with
// ordinary access, which in this 32-bit process is the 32-bit view.
const REGSAM kOrdinaryView = KEY_WOW64_32KEY;

void deleteTree(const char* child, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | view, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteTreeA(key, child);
    RegCloseKey(key);
}

HKEY createKey(const char* path, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS | view,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
}

// --- readRegistryString / readProcessorName -------------------------------

struct StringCase {
    const char* label;
    DWORD type;
    Bytes data;  // stored exactly as given: strings carry their zero byte only when listed
    std::string expected;
};

void PrintTo(const StringCase& c, std::ostream* os) { *os << c.label; }

class RegistryString : public ::testing::TestWithParam<StringCase> {
protected:
    void SetUp() override {
        deleteTree("KorvaneVTTest", kOrdinaryView);
        SetEnvironmentVariableA("KORVANE_TEST_DIR", "C:\\Quorvel");
    }
    void TearDown() override {
        deleteTree("KorvaneVTTest", kOrdinaryView);
        SetEnvironmentVariableA("KORVANE_TEST_DIR", nullptr);
    }
};

TEST_P(RegistryString, GivesStringsOnly) {
    const StringCase& c = GetParam();
    HKEY key = createKey(kScratch, kOrdinaryView);
    ASSERT_EQ(RegSetValueExA(key, "ProcessorNameString", 0, c.type, c.data.data(),
                             static_cast<DWORD>(c.data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(readRegistryString(HKEY_LOCAL_MACHINE, kScratch, "ProcessorNameString"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegistryString,
    ::testing::Values(StringCase{"SzKeptExactly", REG_SZ, withZero("  Intel(R) Core(TM) i7  "),
                                 "  Intel(R) Core(TM) i7  "},
                      StringCase{"SzWithoutZeroByte", REG_SZ, bytesOf("AMD Ryzen 7"),
                                 "AMD Ryzen 7"},
                      StringCase{"SzEmpty", REG_SZ, {0}, ""},
                      StringCase{"SzNoData", REG_SZ, {}, ""},
                      StringCase{"ExpandSzExpanded", REG_EXPAND_SZ,
                                 withZero(" %KORVANE_TEST_DIR%\\cpu "), " C:\\Quorvel\\cpu "},
                      StringCase{"ExpandSzWithoutZeroByte", REG_EXPAND_SZ,
                                 bytesOf("%KORVANE_TEST_DIR%"), "C:\\Quorvel"},
                      StringCase{"ExpandSzUnknownVariableStays", REG_EXPAND_SZ,
                                 withZero("%KORVANE_NOT_SET%"), "%KORVANE_NOT_SET%"},
                      StringCase{"DwordGivesEmpty", REG_DWORD, {0x31, 0, 0, 0}, ""},
                      StringCase{"BinaryGivesEmpty", REG_BINARY, bytesOf("Intel"), ""},
                      StringCase{"MultiSzGivesEmpty", REG_MULTI_SZ,
                                 withZero(std::string("Intel\0AMD\0", 10)), ""}),
    [](const ::testing::TestParamInfo<StringCase>& info) { return info.param.label; });

TEST(RegistryStringMissing, MissingValueOrKeyGivesEmpty) {
    deleteTree("KorvaneVTTest", kOrdinaryView);
    EXPECT_EQ(readRegistryString(HKEY_LOCAL_MACHINE, kScratch, "ProcessorNameString"), "");
    RegCloseKey(createKey(kScratch, kOrdinaryView));
    EXPECT_EQ(readRegistryString(HKEY_LOCAL_MACHINE, kScratch, "ProcessorNameString"), "");
    deleteTree("KorvaneVTTest", kOrdinaryView);
}

// Wine fills ProcessorNameString from the processor's own brand string, with
// the trailing spaces trimmed.
TEST(ProcessorName, IsTheCpuidBrandOnWine) {
    unsigned int regs[12] = {};
    for (unsigned int i = 0; i < 3; ++i)
        __cpuid(0x80000002 + i, regs[4 * i], regs[4 * i + 1], regs[4 * i + 2], regs[4 * i + 3]);
    char raw[49] = {};
    std::memcpy(raw, regs, 48);
    std::string brand(raw);
    brand.erase(brand.find_last_not_of(' ') + 1);
    ASSERT_FALSE(brand.empty());
    EXPECT_EQ(readProcessorName(), brand);
}

// --- RegistryProbeReader and runVerdictEvaluation -------------------------

struct Planted {
    std::map<std::string, std::int32_t> ints;
    std::map<std::string, std::string> texts;
};

const Planted kIntelLike{{{"CPU_VT", 1},
                          {"BIOSLock", 1},
                          {"VMInSMX", 0},
                          {"VMOutSideSMX", 1},
                          {"CR0_NE", 1},
                          {"CR0_PE", 1},
                          {"CR0_PG", 1},
                          {"CR4_VMXE", 0}},
                         {{"CPU_Vendor", "GenuineIntel"}}};
const Planted kAmdLike{{{"SVM", 1}, {"SVM_NP", 0}, {"VM_CR", 0}}, {{"CPU_Vendor", "AuthenticAMD"}}};

// Writes the values the way the driver does: DWORDs and UTF-16 strings in the 64-bit view.
void plant(const Planted& values) {
    HKEY key = createKey(kProbeKey);
    for (const auto& [name, value] : values.ints) {
        DWORD data = static_cast<DWORD>(value);
        EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&data), sizeof data),
                  ERROR_SUCCESS);
    }
    for (const auto& [name, text] : values.texts) {
        std::wstring wideName(name.begin(), name.end());
        std::wstring wide(text.begin(), text.end());
        EXPECT_EQ(RegSetValueExW(key, wideName.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(wide.c_str()),
                                 static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

// The table-backed reader that the pure evaluation is tested with, over the planted values.
class TableReader : public ProbeReader {
public:
    explicit TableReader(const Planted& values) : values(values) {}
    std::int32_t readInt(const std::string& name) override {
        auto it = values.ints.find(name);
        return it == values.ints.end() ? 0 : it->second;
    }
    std::string readText(const std::string& name) override {
        auto it = values.texts.find(name);
        return it == values.texts.end() ? "" : it->second;
    }

private:
    Planted values;
};

// No hypervisor, and the driver ran: the evaluation that the probe values alone decide.
const StartFacts kBareMetalRan{HypervisorFacts{}, ProbeOutcome{ProbeOutcomeKind::Ran, 0}};

const char* const kAllInts[] = {"CPU_VT", "BIOSLock", "VMInSMX", "VMOutSideSMX", "CR0_NE", "CR0_PE",
                                "CR0_PG", "CR4_VMXE", "SVM",     "SVM_NP",       "VM_CR"};

class ProbeKey : public ::testing::Test {
protected:
    void SetUp() override { deleteTree("Quorvel"); }
    void TearDown() override { deleteTree("Quorvel"); }
};

struct PlantedCase {
    const char* label;
    Planted values;
};

void PrintTo(const PlantedCase& c, std::ostream* os) { *os << c.label; }

class ProbeValues : public ProbeKey, public ::testing::WithParamInterface<PlantedCase> {};

TEST_P(ProbeValues, RegistryReaderGivesPlantedValues) {
    plant(GetParam().values);
    TableReader expected(GetParam().values);
    RegistryProbeReader reader;
    for (const char* name : kAllInts)
        EXPECT_EQ(reader.readInt(name), expected.readInt(name)) << name;
    EXPECT_EQ(reader.readText("CPU_Vendor"), expected.readText("CPU_Vendor"));
    EXPECT_EQ(reader.readText("CPU_Name"), "");
}

TEST_P(ProbeValues, RunVerdictEvaluationMatchesTheRulesOverPlantedValues) {
    plant(GetParam().values);
    TableReader table(GetParam().values);
    const std::string name = readProcessorName();
    const VerdictSet expected = evaluateVerdicts(name, table, kBareMetalRan);

    const VerdictSet actual = runVerdictEvaluation(kBareMetalRan);
    ASSERT_EQ(actual.rows.size(), usesIntelRules(name) ? 9u : 5u);
    EXPECT_EQ(actual.rows[0].item, "CPU型号");
    EXPECT_EQ(actual.rows[0].value, name);
    for (std::size_t i = 0; i < actual.rows.size(); ++i) {
        EXPECT_EQ(actual.rows[i].item, expected.rows[i].item) << i;
        EXPECT_EQ(actual.rows[i].value, expected.rows[i].value) << i;
        EXPECT_EQ(actual.rows[i].marker, expected.rows[i].marker) << i;
    }
    for (auto line : {&VerdictSet::VtEnabled, &VerdictSet::BoardSupport, &VerdictSet::CpuSupport}) {
        EXPECT_EQ((actual.*line).caption, (expected.*line).caption);
        EXPECT_EQ((actual.*line).background, (expected.*line).background);
        EXPECT_EQ((actual.*line).textColor, (expected.*line).textColor);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ProbeValues,
                         ::testing::Values(PlantedCase{"IntelLike", kIntelLike},
                                           PlantedCase{"AmdLike", kAmdLike},
                                           PlantedCase{"AbsentKey", {}}),
                         [](const ::testing::TestParamInfo<PlantedCase>& info) {
                             return info.param.label;
                         });

// With both vendors' values planted, the rows show which rules the real
// processor name chose, and each row carries the planted value.
TEST_F(ProbeKey, RunVerdictEvaluationReadsTheRulesOfTheRealProcessor) {
    plant(kIntelLike);
    plant(kAmdLike);
    const std::string name = readProcessorName();
    const VerdictSet set = runVerdictEvaluation(kBareMetalRan);
    if (usesIntelRules(name)) {
        ASSERT_EQ(set.rows.size(), 9u);
        EXPECT_EQ(set.rows[1].item, "BIOSLock");
        EXPECT_EQ(set.rows[1].value, "1");
        EXPECT_EQ(set.rows[6].value, "当前无VT驱动加载");
        EXPECT_EQ(set.VtEnabled.caption, " VT是否开启：    开启");
        EXPECT_EQ(set.CpuSupport.background, VerdictBackground::Positive);
    } else {
        ASSERT_EQ(set.rows.size(), 5u);
        EXPECT_EQ(set.rows[1].item, "CPU_Vendor");
        EXPECT_EQ(set.rows[1].value, "AuthenticAMD");
        EXPECT_EQ(set.rows[4].value, "关闭或不支持");
        EXPECT_EQ(set.VtEnabled.caption, " VT是否开启：    关闭");
        EXPECT_EQ(set.BoardSupport.caption, " 主板VT支持：    支持");
    }
}

// Texts arrive in the ANSI code page (1252 under Wine with LANG=C.UTF-8) and
// leave the reader as UTF-8.
TEST_F(ProbeKey, ReaderTextsAreUtf8) {
    ASSERT_EQ(GetACP(), 1252u);
    HKEY key = createKey(kProbeKey);
    const wchar_t vendor[] = L"Caf\u00e9";
    ASSERT_EQ(RegSetValueExW(key, L"CPU_Vendor", 0, REG_SZ, reinterpret_cast<const BYTE*>(vendor),
                             sizeof vendor),
              ERROR_SUCCESS);
    RegCloseKey(key);
    RegistryProbeReader reader;
    EXPECT_EQ(reader.readText("CPU_Vendor"), "Caf\xC3\xA9");
}

}  // namespace
