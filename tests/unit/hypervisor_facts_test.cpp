// The hypervisor facts over a scripted processor: which leaves are read, in
// which order, and what the facts say, for bare metal and for the hypervisors a
// user meets; and the names shown for signatures.

#include "hypervisor/hypervisor_facts.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using Leaves = std::map<uint32_t, CpuidRegs>;
using Journal = std::vector<uint32_t>;

// Answers the scripted leaves, 0 for any other, and records every leaf asked for.
class ScriptedCpu {
  public:
    ScriptedCpu(const Leaves& leaves, Journal& journal) : leaves_(leaves), journal_(journal) {}

    CpuidRegs cpuid(uint32_t leaf) {
        journal_.push_back(leaf);
        const auto it = leaves_.find(leaf);
        return it == leaves_.end() ? CpuidRegs{0, 0, 0, 0} : it->second;
    }

  private:
    const Leaves& leaves_;
    Journal& journal_;
};

uint32_t bytesAt(const char* text) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(text[i]);
    }
    return value;
}

// Leaf 0x40000000: the highest hypervisor leaf, then the signature in EBX, ECX, EDX.
CpuidRegs hypervisorLeaf(uint32_t highest, const char (&signature)[13]) {
    return CpuidRegs{highest, bytesAt(signature), bytesAt(signature + 4), bytesAt(signature + 8)};
}

constexpr uint32_t kVmx = 1u << 5;               // CPUID.1:ECX
constexpr uint32_t kHypervisor = 1u << 31;       // CPUID.1:ECX
constexpr uint32_t kSvm = 1u << 2;               // CPUID.80000001h:ECX
constexpr uint32_t kCreatePartitions = 1u << 0;  // CPUID.40000003h:EBX
constexpr uint32_t kCpuManagement = 1u << 12;    // CPUID.40000003h:EBX
// Bits that never decide anything: the rest of every register read.
constexpr uint32_t kNoise = 0x00A5A5A5 & ~(kVmx | kSvm | kCreatePartitions | kCpuManagement);

CpuidRegs features(uint32_t ecx) { return CpuidRegs{0x000906EA, kNoise, ecx | kNoise, kNoise}; }
CpuidRegs highestExtended(uint32_t eax) { return CpuidRegs{eax, 0, 0, 0}; }
CpuidRegs extFeatures(uint32_t ecx) { return CpuidRegs{kNoise, kNoise, ecx | kNoise, kNoise}; }
CpuidRegs privileges(uint32_t ebx) { return CpuidRegs{kNoise, ebx | kNoise, kNoise, kNoise}; }

const uint32_t kRootPrivileges = kCreatePartitions | kCpuManagement;

// A guest's leaves on an Intel processor: leaf 1 with the present bit, an extended range
// without SVM, and the hypervisor's leaf.
Leaves intelGuest(uint32_t featureEcx, uint32_t highest, const char (&signature)[13]) {
    return {{1, features(kHypervisor | featureEcx)},
            {0x80000000, highestExtended(0x80000008)},
            {0x80000001, extFeatures(0)},
            {0x40000000, hypervisorLeaf(highest, signature)}};
}

Leaves withLeaf(Leaves leaves, uint32_t leaf, CpuidRegs regs) {
    leaves[leaf] = regs;
    return leaves;
}

struct Facts {
    bool present;
    uint32_t highestLeaf;
    std::string signature;  // all 12 bytes
    bool rootPartition;
    bool processorShowsVt;
};

struct Case {
    const char* label;
    Leaves leaves;
    Journal reads;
    Facts facts;
};

const std::string kNoSignature(12, '\0');
const Journal kProcessorReads = {1, 0x80000000, 0x80000001};
const Journal kGuestReads = {1, 0x80000000, 0x80000001, 0x40000000};
const Journal kHyperVReads = {1, 0x80000000, 0x80000001, 0x40000000, 0x40000003};

std::vector<Case> cases() {
    // Without the present bit, leaf 0x40000000 answers like any leaf above the highest
    // basic one: here with Hyper-V's values, which must not be looked at.
    const Leaves bareIntel = {{1, features(kVmx)},
                              {0x80000000, highestExtended(0x80000008)},
                              {0x80000001, extFeatures(0)},
                              {0x40000000, hypervisorLeaf(0x4000000B, "Microsoft Hv")},
                              {0x40000003, privileges(kRootPrivileges)}};
    const Leaves bareAmd = {{1, features(0)},
                            {0x80000000, highestExtended(0x80000021)},
                            {0x80000001, extFeatures(kSvm)}};
    const Leaves hyperV = intelGuest(0, 0x4000000B, "Microsoft Hv");
    return {
        {"bare metal, Intel with VMX",
         bareIntel,
         kProcessorReads,
         {false, 0, kNoSignature, false, true}},
        {"bare metal, AMD with SVM",
         bareAmd,
         kProcessorReads,
         {false, 0, kNoSignature, false, true}},
        {"bare metal, neither VMX nor SVM",
         withLeaf(bareAmd, 0x80000001, extFeatures(0)),
         kProcessorReads,
         {false, 0, kNoSignature, false, false}},
        {"no extended leaf 0x80000001: its SVM bit is not read",
         withLeaf(bareAmd, 0x80000000, highestExtended(0x80000000)),
         {1, 0x80000000},
         {false, 0, kNoSignature, false, false}},
        {"Hyper-V root partition",
         withLeaf(hyperV, 0x40000003, privileges(kRootPrivileges)),
         kHyperVReads,
         {true, 0x4000000B, "Microsoft Hv", true, false}},
        {"Hyper-V root partition on AMD",
         {{1, features(kHypervisor)},
          {0x80000000, highestExtended(0x80000021)},
          {0x80000001, extFeatures(0)},
          {0x40000000, hypervisorLeaf(0x40000006, "Microsoft Hv")},
          {0x40000003, privileges(kRootPrivileges)}},
         kHyperVReads,
         {true, 0x40000006, "Microsoft Hv", true, false}},
        {"Hyper-V guest without nested VT",
         withLeaf(hyperV, 0x40000003, privileges(0)),
         kHyperVReads,
         {true, 0x4000000B, "Microsoft Hv", false, false}},
        {"Hyper-V guest with nested VT",
         withLeaf(intelGuest(kVmx, 0x4000000B, "Microsoft Hv"), 0x40000003, privileges(0)),
         kHyperVReads,
         {true, 0x4000000B, "Microsoft Hv", false, true}},
        {"Hyper-V guest with nested SVM",
         withLeaf(withLeaf(hyperV, 0x80000001, extFeatures(kSvm)), 0x40000003, privileges(0)),
         kHyperVReads,
         {true, 0x4000000B, "Microsoft Hv", false, true}},
        {"CreatePartitions alone is not the root partition",
         withLeaf(hyperV, 0x40000003, privileges(kCreatePartitions)),
         kHyperVReads,
         {true, 0x4000000B, "Microsoft Hv", false, false}},
        {"CpuManagement alone is not the root partition",
         withLeaf(hyperV, 0x40000003, privileges(kCpuManagement)),
         kHyperVReads,
         {true, 0x4000000B, "Microsoft Hv", false, false}},
        {"highest leaf below 0x40000003: leaf 0x40000003 is not read",
         withLeaf(intelGuest(0, 0x40000002, "Microsoft Hv"), 0x40000003,
                  privileges(kRootPrivileges)),
         kGuestReads,
         {true, 0x40000002, "Microsoft Hv", false, false}},
        {"highest leaf exactly 0x40000003",
         withLeaf(intelGuest(0, 0x40000003, "Microsoft Hv"), 0x40000003,
                  privileges(kRootPrivileges)),
         kHyperVReads,
         {true, 0x40000003, "Microsoft Hv", true, false}},
        {"KVM: leaf 0x40000003 is not a Hyper-V leaf there",
         withLeaf(intelGuest(0, 0x40000001, "KVMKVMKVM\0\0\0"), 0x40000003,
                  privileges(kRootPrivileges)),
         kGuestReads,
         {true, 0x40000001, std::string("KVMKVMKVM\0\0\0", 12), false, false}},
        {"KVM with nested VT",
         intelGuest(kVmx, 0x40000001, "KVMKVMKVM\0\0\0"),
         kGuestReads,
         {true, 0x40000001, std::string("KVMKVMKVM\0\0\0", 12), false, true}},
        {"KVM with Hyper-V enlightenments",
         withLeaf(intelGuest(0, 0x40000005, "Microsoft Hv"), 0x40000003,
                  privileges(0x000002F6 & ~kRootPrivileges)),
         kHyperVReads,
         {true, 0x40000005, "Microsoft Hv", false, false}},
        {"VMware",
         withLeaf(intelGuest(0, 0x40000010, "VMwareVMware"), 0x40000003,
                  privileges(kRootPrivileges)),
         kGuestReads,
         {true, 0x40000010, "VMwareVMware", false, false}},
        {"VirtualBox with nested VT",
         intelGuest(kVmx, 0x40000006, "VBoxVBoxVBox"),
         kGuestReads,
         {true, 0x40000006, "VBoxVBoxVBox", false, true}},
        {"an unknown printable signature",
         intelGuest(0, 0x40000001, "  Acme HV   "),
         kGuestReads,
         {true, 0x40000001, "  Acme HV   ", false, false}},
        {"an unprintable signature",
         intelGuest(0, 0x40000001, "\x01\x02\x03\x04\xFF\xFE\x80\x7F\0\0\0\0"),
         kGuestReads,
         {true, 0x40000001, std::string("\x01\x02\x03\x04\xFF\xFE\x80\x7F\0\0\0\0", 12), false,
          false}},
    };
}

TEST(GatherHypervisorFacts, ReadsOnlyTheLeavesThatApplyAndDecodesThem) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.label);
        Journal journal;
        ScriptedCpu cpu(c.leaves, journal);
        const HypervisorFacts facts = gatherHypervisorFacts(cpu);

        EXPECT_EQ(journal, c.reads);
        EXPECT_EQ(facts.present, c.facts.present);
        EXPECT_EQ(facts.highestLeaf, c.facts.highestLeaf);
        EXPECT_EQ(std::string(facts.signature, sizeof facts.signature), c.facts.signature);
        EXPECT_EQ(facts.rootPartition, c.facts.rootPartition);
        EXPECT_EQ(facts.processorShowsVt, c.facts.processorShowsVt);
    }
}

std::string nameOf(const char (&text)[13]) {
    char signature[kHypervisorSignatureBytes];
    for (size_t i = 0; i < sizeof signature; ++i) signature[i] = text[i];
    // A name that does not end in its NUL would show as this filler.
    char name[kHypervisorNameBytes + 1];
    for (char& c : name) c = '#';
    hypervisorName(signature, name);
    const std::string stored(name, sizeof name);
    return stored.substr(0, stored.find('\0'));
}

TEST(HypervisorName, KnownSignaturesGiveTheProductName) {
    struct NameCase {
        const char signature[13];
        const char* name;
    } known[] = {
        {"Microsoft Hv", "Hyper-V"},   {"KVMKVMKVM\0\0\0", "KVM"},     {"Linux KVM Hv", "KVM"},
        {"VMwareVMware", "VMware"},    {"VBoxVBoxVBox", "VirtualBox"}, {"XenVMMXenVMM", "Xen"},
        {"prl hyperv  ", "Parallels"}, {"TCGTCGTCGTCG", "QEMU"},       {"bhyve bhyve ", "bhyve"},
        {"ACRNACRNACRN", "ACRN"},
    };
    for (const auto& c : known) {
        EXPECT_EQ(nameOf(c.signature), c.name) << c.name;
    }
}

TEST(HypervisorName, OtherSignaturesGiveTheirPrintableBytesTrimmed) {
    struct NameCase {
        const char signature[13];
        const char* name;
    } other[] = {
        // Known signatures match byte for byte only.
        {"KVMKVMKVM   ", "KVMKVMKVM"},
        {"Microsoft HV", "Microsoft HV"},
        {"prl hyperv\0\0", "prl hyperv"},
        {"  Acme  HV  ", "Acme  HV"},
        {"ABCDEFGHIJKL", "ABCDEFGHIJKL"},  // twelve printable bytes fill the name
        {"Acme\0\0\0\0\0\0\0\0", "Acme"},
        // 0x20 and 0x7E are the ends of the printable range; 0x1F, 0x7F and above are not.
        {"\x7F\x80\x1F"
         "Ab~\0 c\xFF  ",
         "Ab~ c"},
        {"\0\0\0\0\0\0\0\0\0\0\0\0", "未知"},
        {"            ", "未知"},
        {"\x01\x02\x03\x04\xFF\xFE\x80\x7F\x1F\x0A\x0D\x09", "未知"},
    };
    for (const auto& c : other) {
        EXPECT_EQ(nameOf(c.signature), c.name) << c.name;
    }
}

}  // namespace
