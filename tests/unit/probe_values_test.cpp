// Decoding of raw register values into the probe values: tables of register
// values for the vendor and brand texts, the vendor class and every bit.

#include "probe_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Four characters as CPUID reports them: the first one in byte 0.
uint32_t reg(const char (&bytes)[5]) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

// A 16-byte brand chunk from a text of up to 16 characters, zero-padded.
CpuidRegs chunk(const std::string& text) {
    unsigned char bytes[16] = {};
    std::memcpy(bytes, text.data(), text.size() < 16 ? text.size() : 16);
    uint32_t words[4];
    std::memcpy(words, bytes, sizeof words);  // little-endian: byte 0 is the first character
    return CpuidRegs{words[0], words[1], words[2], words[3]};
}

std::string vendorOf(uint32_t ebx, uint32_t edx, uint32_t ecx) {
    char out[kVendorChars + 1];
    std::memset(out, 'x', sizeof out);
    decodeVendor(ebx, edx, ecx, out);
    return out;
}

std::string brandOf(const CpuidRegs& a, const CpuidRegs& b, const CpuidRegs& c) {
    const CpuidRegs leaves[3] = {a, b, c};
    char out[kBrandChars + 1];
    std::memset(out, 'x', sizeof out);
    decodeBrand(leaves, out);
    return out;
}

const std::string k16 = "0123456789abcdef";

struct VendorCase {
    const char* label;
    uint32_t ebx, edx, ecx;
    std::string expected;
};

TEST(DecodeVendor, TakesEbxEdxEcxBytesUpToTheFirstZero) {
    const VendorCase cases[] = {
        {"Intel", reg("Genu"), reg("ineI"), reg("ntel"), "GenuineIntel"},
        {"AMD", reg("Auth"), reg("enti"), reg("cAMD"), "AuthenticAMD"},
        {"zero in byte 1 of EDX", reg("Genu"), reg("i\0eI"), reg("ntel"), "Genui"},
        {"zero in byte 0 of EBX", reg("\0enu"), reg("ineI"), reg("ntel"), ""},
        {"zero in the last byte", reg("Genu"), reg("ineI"), reg("nte\0"), "GenuineInte"},
        {"all zero", 0, 0, 0, ""},
        {"twelve other characters", reg("  Sh"), reg("angh"), reg("ai  "), "  Shanghai  "},
        {"bytes from 0x80 up", reg("\200\377ab"), reg("cdef"), reg("ghij"), "\200\377abcdefghij"},
    };
    for (const VendorCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(vendorOf(c.ebx, c.edx, c.ecx), c.expected);
    }
}

struct BrandCase {
    const char* label;
    CpuidRegs leaves[3];
    std::string expected;
};

TEST(DecodeBrand, AppendsEachChunkUpToItsOwnFirstZero) {
    const std::string spaced = "   Intel(R) Xeon";
    const BrandCase cases[] = {
        {"five characters, then two full chunks",
         {chunk("AMD R"), chunk(k16), chunk("FEDCBA9876543210")},
         "AMD R" + k16 + "FEDCBA9876543210"},
        {"all three leaves zero", {chunk(""), chunk(""), chunk("")}, ""},
        {"48 characters without a zero", {chunk(k16), chunk(k16), chunk(k16)}, k16 + k16 + k16},
        {"spaces kept at both ends",
         {chunk(spaced), chunk("(R) CPU @ 2GHz  "), chunk("")},
         spaced + "(R) CPU @ 2GHz  "},
        {"empty middle chunk", {chunk("first"), chunk(""), chunk("third")}, "firstthird"},
        {"zero in EBX ends the chunk, later bytes ignored",
         {chunk(std::string("abcdef\0hijklmnop", 16)), chunk("x"), chunk("y")},
         "abcdefxy"},
        {"zero in the last byte of EDX",
         {chunk(k16.substr(0, 15)), chunk(k16), chunk("z")},
         k16.substr(0, 15) + k16 + "z"},
    };
    for (const BrandCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(brandOf(c.leaves[0], c.leaves[1], c.leaves[2]), c.expected);
    }
}

TEST(DecodeBrand, FiveCharacterChunkIsFollowedDirectlyByTheNext) {
    const std::string brand = brandOf(chunk("AMD R"), chunk(k16), chunk(k16));
    ASSERT_EQ(brand.size(), 37u);
    EXPECT_EQ(brand.substr(5, 16), k16);
}

TEST(AppendBrandChunk, NeverWritesBeyondTheCapacity) {
    char text[8] = "abc";
    text[7] = '#';  // must survive: the capacity given below is 7
    appendBrandChunk(text, 7, chunk(k16));
    EXPECT_STREQ(text, "abc012");  // six characters and the NUL
    EXPECT_EQ(text[7], '#');
}

TEST(ClassifyVendor, ComparesTheWholeTextCaseSensitively) {
    const struct {
        const char* vendor;
        VendorClass expected;
    } cases[] = {
        {"GenuineIntel", VendorClass::Intel}, {"AuthenticAMD", VendorClass::Amd},
        {"genuineintel", VendorClass::Other}, {"AUTHENTICAMD", VendorClass::Other},
        {"GenuineInte", VendorClass::Other},  {"GenuineIntel ", VendorClass::Other},
        {"Genui", VendorClass::Other},        {"", VendorClass::Other},
        {"HygonGenuine", VendorClass::Other}, {"CentaurHauls", VendorClass::Other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.vendor);
        EXPECT_EQ(classifyVendor(c.vendor), c.expected);
    }
}

// --- The ordered list -------------------------------------------------------------------

struct Value {
    std::string name;
    ValueType type;
    std::string text;
    uint32_t dword;
    bool operator==(const Value& o) const {
        return name == o.name && type == o.type && text == o.text && dword == o.dword;
    }
};

void PrintTo(const Value& v, std::ostream* os) {
    *os << v.name
        << (v.type == ValueType::Text ? " REG_SZ \"" + v.text + "\""
                                      : " REG_DWORD " + std::to_string(v.dword));
}

std::vector<Value> decode(const ProbeRegisters& regs) {
    ProbeValueList list;
    std::memset(&list, 0xCD, sizeof list);  // nothing may be left from before
    decodeProbeValues(regs, list);
    EXPECT_LE(list.count, kMaxProbeValues);
    std::vector<Value> values;
    for (size_t i = 0; i < list.count && i < kMaxProbeValues; ++i) {
        const ProbeValue& v = list.values[i];
        values.push_back({v.name, v.type, v.type == ValueType::Text ? v.text : "", v.dword});
    }
    return values;
}

Value text(const char* name, const std::string& data) { return {name, ValueType::Text, data, 0}; }
Value dword(const char* name, uint32_t data) { return {name, ValueType::Dword, "", data}; }

ProbeRegisters intel() {
    ProbeRegisters regs{};
    regs.leaf0Ebx = reg("Genu");
    regs.leaf0Edx = reg("ineI");
    regs.leaf0Ecx = reg("ntel");
    regs.brandLeaves[0] = chunk("Intel(R) Core(TM");
    regs.brandLeaves[1] = chunk(") i7 CPU");
    regs.brandLeaves[2] = chunk("");
    return regs;
}

ProbeRegisters amd() {
    ProbeRegisters regs{};
    regs.leaf0Ebx = reg("Auth");
    regs.leaf0Edx = reg("enti");
    regs.leaf0Ecx = reg("cAMD");
    regs.brandLeaves[0] = chunk("AMD Ryzen 7 5800");
    regs.brandLeaves[1] = chunk("X 8-Core Process");
    regs.brandLeaves[2] = chunk("or              ");
    return regs;
}

const char* const kIntelBrand = "Intel(R) Core(TM) i7 CPU";
const char* const kAmdBrand = "AMD Ryzen 7 5800X 8-Core Processor              ";

struct IntelCase {
    const char* label;
    uint32_t basicFeatureEcx;
    uint64_t featureControl, cr0, cr4;
    uint32_t vt, lock, inSmx, outsideSmx, ne, pe, pg, vmxe;
};

TEST(DecodeProbeValues, IntelGivesTenValuesEachOneBit) {
    const uint64_t high = 0xFFFFFFFF00000000ull;
    const IntelCase cases[] = {
        {"everything clear", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"typical VT-x locked on", 1u << 5, 5, 0x80050033, 1u << 13, 1, 1, 0, 1, 1, 1, 1, 1},
        {"feature control 5", 0, 5, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0},
        {"feature control: only bits above 2", 0, ~7ull, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"feature control 2", 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0},
        {"CR0: PG only", 0, 0, 1ull << 31, 0, 0, 0, 0, 0, 0, 0, 1, 0},
        {"CR0: bits 32-63 only", 0, 0, high, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"CR0: everything but PG", 0, 0, ~(1ull << 31), 0, 0, 0, 0, 0, 1, 1, 0, 0},
        {"CR0: NE only", 0, 0, 1u << 5, 0, 0, 0, 0, 0, 1, 0, 0, 0},
        {"CR0: PE only", 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0},
        {"SMX without VMX", 1u << 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"every ECX bit but VMX", ~(1u << 5), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"CR4: VMXE only", 0, 0, 0, 1u << 13, 0, 0, 0, 0, 0, 0, 0, 1},
        {"CR4: everything but VMXE", 0, 0, 0, ~(1ull << 13), 0, 0, 0, 0, 0, 0, 0, 0},
        {"CR4: bits 32-63 only", 0, 0, 0, high, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const IntelCase& c : cases) {
        SCOPED_TRACE(c.label);
        ProbeRegisters regs = intel();
        regs.basicFeatureEcx = c.basicFeatureEcx;
        regs.featureControl = c.featureControl;
        regs.cr0 = c.cr0;
        regs.cr4 = c.cr4;
        regs.extFeatureEcx = ~0u;  // the other class's fields play no part
        regs.svmFeatureEdx = ~0u;
        regs.vmCr = ~0ull;
        const std::vector<Value> expected = {
            text("CPU_Vendor", "GenuineIntel"),
            text("CPU_Name", kIntelBrand),
            dword("CPU_VT", c.vt),
            dword("BIOSLock", c.lock),
            dword("VMInSMX", c.inSmx),
            dword("VMOutSideSMX", c.outsideSmx),
            dword("CR0_NE", c.ne),
            dword("CR0_PE", c.pe),
            dword("CR0_PG", c.pg),
            dword("CR4_VMXE", c.vmxe),
        };
        EXPECT_EQ(decode(regs), expected);
    }
}

struct AmdCase {
    const char* label;
    uint32_t extFeatureEcx, svmFeatureEdx;
    uint64_t vmCr;
    uint32_t svm, np, vmCrValue;
};

TEST(DecodeProbeValues, AmdGivesFiveValuesWithVmCrInverted) {
    const AmdCase cases[] = {
        {"SVM, NP, firmware left it on", 1u << 2, 1, 0, 1, 1, 1},
        {"SVMDIS set", 1u << 2, 1, 0x10, 1, 1, 0},
        {"lock bit only", 1u << 2, 1, 0x08, 1, 1, 1},
        {"every VM_CR bit but SVMDIS", 0, 0, ~0x10ull, 0, 0, 1},
        {"every VM_CR bit", 0, 0, ~0ull, 0, 0, 0},
        {"every ECX bit but SVM", ~(1u << 2), 0, 0, 0, 0, 1},
        {"every EDX bit but NP", 0, ~1u, 0, 0, 0, 1},
    };
    for (const AmdCase& c : cases) {
        SCOPED_TRACE(c.label);
        ProbeRegisters regs = amd();
        regs.extFeatureEcx = c.extFeatureEcx;
        regs.svmFeatureEdx = c.svmFeatureEdx;
        regs.vmCr = c.vmCr;
        regs.basicFeatureEcx = ~0u;  // the other class's fields play no part
        regs.featureControl = ~0ull;
        regs.cr0 = ~0ull;
        regs.cr4 = ~0ull;
        const std::vector<Value> expected = {
            text("CPU_Vendor", "AuthenticAMD"),
            text("CPU_Name", kAmdBrand),
            dword("SVM", c.svm),
            dword("SVM_NP", c.np),
            dword("VM_CR", c.vmCrValue),
        };
        EXPECT_EQ(decode(regs), expected);
    }
}

TEST(DecodeProbeValues, OtherVendorsGiveTheTwoTextsOnly) {
    const struct {
        const char* label;
        uint32_t ebx, edx, ecx;
        std::string vendor;
    } cases[] = {
        {"zero in byte 1 of EDX", reg("Genu"), reg("i\0eI"), reg("ntel"), "Genui"},
        {"lower case", reg("genu"), reg("inei"), reg("ntel"), "genuineintel"},
        {"another vendor", reg("Hygo"), reg("nGen"), reg("uine"), "HygonGenuine"},
        {"empty", 0, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ProbeRegisters regs{};
        regs.leaf0Ebx = c.ebx;
        regs.leaf0Edx = c.edx;
        regs.leaf0Ecx = c.ecx;
        regs.brandLeaves[0] = chunk(k16);
        regs.basicFeatureEcx = ~0u;
        regs.featureControl = regs.cr0 = regs.cr4 = regs.vmCr = ~0ull;
        regs.extFeatureEcx = regs.svmFeatureEdx = ~0u;
        const std::vector<Value> expected = {text("CPU_Vendor", c.vendor), text("CPU_Name", k16)};
        EXPECT_EQ(decode(regs), expected);
    }
}

TEST(DecodeProbeValues, LongestTextsAndEmptyBrandAreKeptWhole) {
    ProbeRegisters regs{};
    regs.leaf0Ebx = reg("  Sh");
    regs.leaf0Edx = reg("angh");
    regs.leaf0Ecx = reg("ai  ");
    regs.brandLeaves[0] = regs.brandLeaves[1] = regs.brandLeaves[2] = chunk(k16);
    EXPECT_EQ(decode(regs), (std::vector<Value>{text("CPU_Vendor", "  Shanghai  "),
                                                text("CPU_Name", k16 + k16 + k16)}));

    ProbeRegisters blank = amd();
    blank.brandLeaves[0] = blank.brandLeaves[1] = blank.brandLeaves[2] = chunk("");
    const std::vector<Value> values = decode(blank);
    ASSERT_EQ(values.size(), 5u);
    EXPECT_EQ(values[1], text("CPU_Name", ""));  // still written, as the empty string
}

}  // namespace
