// The driver's entry sequence over a scripted processor and a recording sink:
// every read and every write, in order, for each kind of processor. The
// scripted processor fails the test when an MSR that it does not have is read
// (on hardware a #GP in ring 0). Each scenario runs with the portable decoding
// and with the kernel's text routines (sprintf_s, strncat, strcmp).

#include "kernel_texts.h"
#include "probe_sequence.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

// ntoskrnl's sprintf_s, as far as the driver relies on it: formats into a buffer that is
// large enough and returns the number of characters.
extern "C" int sprintf_s(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    return written;
}

namespace {

using Journal = std::vector<std::string>;

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

class ScriptedCpu {
  public:
    ScriptedCpu(const std::map<uint32_t, CpuidRegs>& leaves,
                const std::map<uint32_t, uint64_t>& msrs, uint64_t cr0, uint64_t cr4,
                Journal& journal)
        : leaves_(leaves), msrs_(msrs), cr0_(cr0), cr4_(cr4), journal_(journal) {}

    CpuidRegs cpuid(uint32_t leaf) {
        journal_.push_back("cpuid " + hex(leaf));
        const auto it = leaves_.find(leaf);
        return it == leaves_.end() ? CpuidRegs{0, 0, 0, 0} : it->second;
    }
    uint64_t readMsr(uint32_t index) {
        journal_.push_back("rdmsr " + hex(index));
        const auto it = msrs_.find(index);
        if (it == msrs_.end()) {
            ADD_FAILURE() << "#GP: RDMSR " << hex(index) << " on a processor without it";
            return 0;
        }
        return it->second;
    }
    uint64_t readCr0() {
        journal_.push_back("read CR0");
        return cr0_;
    }
    uint64_t readCr4() {
        journal_.push_back("read CR4");
        return cr4_;
    }

  private:
    const std::map<uint32_t, CpuidRegs>& leaves_;
    const std::map<uint32_t, uint64_t>& msrs_;
    uint64_t cr0_;
    uint64_t cr4_;
    Journal& journal_;
};

// Records each write in its stored form: a text as UTF-16 with its NUL, an integer as 4 bytes.
class RecordingSink {
  public:
    explicit RecordingSink(Journal& journal) : journal_(journal) {}

    void writeText(const char* name, const char* text) {
        std::u16string stored;
        for (const char* p = text; *p != '\0'; ++p) {
            stored.push_back(static_cast<unsigned char>(*p));
        }
        stored.push_back(u'\0');
        const size_t length = stored.size() * sizeof(char16_t);
        journal_.push_back(std::string("write ") + name + " REG_SZ " + std::to_string(length) +
                           " \"" + text + "\"");
    }
    void writeDword(const char* name, uint32_t value) {
        journal_.push_back(std::string("write ") + name + " REG_DWORD 4 " + std::to_string(value));
    }

  private:
    Journal& journal_;
};

uint32_t reg(const char (&bytes)[5]) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

CpuidRegs chunk(const char (&text)[17]) {
    uint32_t words[4];
    std::memcpy(words, text, sizeof words);
    return CpuidRegs{words[0], words[1], words[2], words[3]};
}

CpuidRegs vendorLeaf(const char (&ebx)[5], const char (&edx)[5], const char (&ecx)[5]) {
    return CpuidRegs{0x16, reg(ebx), reg(ecx), reg(edx)};
}

// Register values that must never reach a value: the eax/ebx/edx of feature leaves.
constexpr uint32_t kNoise = 0xFFFFFFFF;

std::map<uint32_t, CpuidRegs> intelLeaves(uint32_t featureEcx) {
    return {
        {0, vendorLeaf("Genu", "ineI", "ntel")},
        {0x80000002, chunk("      Intel(R) X")},
        {0x80000003, chunk("eon(R) CPU\0\0\0\0\0\0")},
        {0x80000004, chunk("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0")},
        {1, CpuidRegs{kNoise, kNoise, featureEcx, kNoise}},
    };
}

std::map<uint32_t, CpuidRegs> amdLeaves(uint32_t extEcx, uint32_t svmEdx) {
    return {
        {0, vendorLeaf("Auth", "enti", "cAMD")},
        {0x80000002, chunk("AMD EPYC 7763 64")},
        {0x80000003, chunk("-Core Processor ")},
        {0x80000004, chunk("                ")},
        {0x80000001, CpuidRegs{kNoise, kNoise, extEcx, kNoise}},
        {0x8000000A, CpuidRegs{kNoise, kNoise, kNoise, svmEdx}},
    };
}

const Journal kTextReads = {"cpuid 0x0", "cpuid 0x80000002", "cpuid 0x80000003",
                            "cpuid 0x80000004"};
const std::string kIntelVendorWrite = "write CPU_Vendor REG_SZ 26 \"GenuineIntel\"";
const std::string kIntelNameWrite = "write CPU_Name REG_SZ 54 \"      Intel(R) Xeon(R) CPU\"";
const std::string kAmdVendorWrite = "write CPU_Vendor REG_SZ 26 \"AuthenticAMD\"";
const std::string kAmdNameWrite =
    "write CPU_Name REG_SZ 98 \"AMD EPYC 7763 64-Core Processor                 \"";

Journal concat(std::initializer_list<Journal> parts) {
    Journal all;
    for (const Journal& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Journal intelWrites(int vt, int lock, int inSmx, int outsideSmx, int ne, int pe, int pg, int vmxe) {
    auto w = [](const char* name, int value) {
        return std::string("write ") + name + " REG_DWORD 4 " + std::to_string(value);
    };
    return {
        w("CPU_VT", vt), w("BIOSLock", lock), w("VMInSMX", inSmx), w("VMOutSideSMX", outsideSmx),
        w("CR0_NE", ne), w("CR0_PE", pe),     w("CR0_PG", pg),     w("CR4_VMXE", vmxe)};
}

struct Scenario {
    const char* label;
    std::map<uint32_t, CpuidRegs> leaves;
    std::map<uint32_t, uint64_t> msrs;  // the MSRs the processor has
    uint64_t cr0;
    uint64_t cr4;
    Journal expected;
};

constexpr uint32_t kVmx = 1u << 5;
constexpr uint32_t kSmx = 1u << 6;
constexpr uint32_t kSvm = 1u << 2;
constexpr uint64_t kCr0 = 0x80050033;                 // PG, NE, PE and others
constexpr uint64_t kCr4Vmxe = 0x3506F8 | (1u << 13);  // VMXE among others

std::vector<Scenario> scenarios() {
    const Journal intelTexts = concat({kTextReads, {kIntelVendorWrite, kIntelNameWrite}});
    const Journal amdTexts = concat({kTextReads, {kAmdVendorWrite, kAmdNameWrite}});
    const Journal intelReadsWithMsr = {"cpuid 0x1", "rdmsr 0x3A", "read CR0", "read CR4"};
    return {
        {"Intel, VT-x locked on",
         intelLeaves(kVmx | kSmx),
         {{0x3A, 0xFF00000005ull}},
         kCr0,
         kCr4Vmxe,
         concat({intelTexts, intelReadsWithMsr, intelWrites(1, 1, 0, 1, 1, 1, 1, 1)})},
        {"Intel, VT-x locked off",
         intelLeaves(kVmx),
         {{0x3A, 0x1}},
         kCr0,
         kCr4Vmxe & ~0x2000ull,
         concat({intelTexts, intelReadsWithMsr, intelWrites(1, 1, 0, 0, 1, 1, 1, 0)})},
        {"Intel, SMX without VMX",
         intelLeaves(kSmx),
         {{0x3A, 0x3}},
         0x10,
         0,
         concat({intelTexts, intelReadsWithMsr, intelWrites(0, 1, 1, 0, 0, 0, 0, 0)})},
        {"Intel without VMX and SMX: no MSR read",
         intelLeaves(~(kVmx | kSmx)),
         {},
         kCr0,
         kCr4Vmxe,
         concat({intelTexts,
                 {"cpuid 0x1", "read CR0", "read CR4"},
                 intelWrites(0, 0, 0, 0, 1, 1, 1, 1)})},
        {"AMD, SVM enabled",
         amdLeaves(kSvm, 1),
         {{0xC0010114, 0x8}},
         kCr0,
         kCr4Vmxe,
         concat({amdTexts,
                 {"cpuid 0x80000001", "write SVM REG_DWORD 4 1", "cpuid 0x8000000A",
                  "write SVM_NP REG_DWORD 4 1", "rdmsr 0xC0010114", "write VM_CR REG_DWORD 4 1"}})},
        {"AMD, SVM disabled by SVMDIS",
         amdLeaves(kSvm, 0),
         {{0xC0010114, 0x18}},
         0,
         0,
         concat({amdTexts,
                 {"cpuid 0x80000001", "write SVM REG_DWORD 4 1", "cpuid 0x8000000A",
                  "write SVM_NP REG_DWORD 4 0", "rdmsr 0xC0010114", "write VM_CR REG_DWORD 4 0"}})},
        {"AMD without SVM: no MSR read, VM_CR 0",
         amdLeaves(~kSvm, 1),
         {},
         0,
         0,
         concat({amdTexts,
                 {"cpuid 0x80000001", "write SVM REG_DWORD 4 0", "cpuid 0x8000000A",
                  "write SVM_NP REG_DWORD 4 1", "write VM_CR REG_DWORD 4 0"}})},
        {"another vendor",
         {{0, vendorLeaf("Cent", "aurH", "auls")}, {0x80000002, chunk("VIA Nano\0\0\0\0\0\0\0\0")}},
         {},
         kCr0,
         kCr4Vmxe,
         concat({kTextReads,
                 {"write CPU_Vendor REG_SZ 26 \"CentaurHauls\"",
                  "write CPU_Name REG_SZ 18 \"VIA Nano\""}})},
        {"Intel's registers with a zero byte in the vendor",
         {{0, vendorLeaf("Genu", "i\0eI", "ntel")}, {1, CpuidRegs{0, 0, kVmx, 0}}},
         {{0x3A, 5}},
         kCr0,
         kCr4Vmxe,
         concat({kTextReads,
                 {"write CPU_Vendor REG_SZ 12 \"Genui\"", "write CPU_Name REG_SZ 2 \"\""}})},
    };
}

template <typename Texts>
class ProbeSequence : public ::testing::Test {};

using TextRoutines = ::testing::Types<DecodingTexts, KernelTexts>;
TYPED_TEST_SUITE(ProbeSequence, TextRoutines);

TYPED_TEST(ProbeSequence, ReadsAndWritesInOrderWithoutTouchingAbsentMsrs) {
    for (const Scenario& s : scenarios()) {
        SCOPED_TRACE(s.label);
        Journal journal;
        ScriptedCpu cpu(s.leaves, s.msrs, s.cr0, s.cr4, journal);
        RecordingSink sink(journal);
        runProbeSequence<TypeParam>(cpu, sink);
        EXPECT_EQ(journal, s.expected);
    }
}

TYPED_TEST(ProbeSequence, FortyEightCharacterBrandAndTwelveCharacterVendorFit) {
    const std::map<uint32_t, CpuidRegs> leaves = {
        {0, vendorLeaf("Auth", "enti", "cAMD")},
        {0x80000002, chunk("0123456789abcdef")},
        {0x80000003, chunk("ghijklmnopqrstuv")},
        {0x80000004, chunk("wxyzABCDEFGHIJKL")},
    };
    Journal journal;
    ScriptedCpu cpu(leaves, {}, 0, 0, journal);
    RecordingSink sink(journal);
    runProbeSequence<TypeParam>(cpu, sink);
    ASSERT_GE(journal.size(), 6u);
    EXPECT_EQ(journal[4], kAmdVendorWrite);
    EXPECT_EQ(journal[5],
              "write CPU_Name REG_SZ 98 \"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL\"");
}

}  // namespace
