#pragma once
// What user-mode CPUID tells about a hypervisor beneath this system: whether one
// is present, its vendor signature, whether Windows runs in the Microsoft
// hypervisor's root partition, and whether the processor shows VT-x or AMD-V to
// this system. The host gathers the facts with the instruction itself
// (host_cpuid.h); the tests with a scripted processor.
//
//   Cpu:  CpuidRegs cpuid(uint32_t leaf)   (sub-leaf 0)
//
// Freestanding like the probe decoding: no heap, no exception, no standard
// container; the signature and the name live in fixed-size buffers.

#include "probe_values.h"

constexpr size_t kHypervisorSignatureBytes = 12;  // CPUID.40000000h: EBX, ECX, EDX
constexpr size_t kHypervisorNameBytes = 12;  // a known name, or the signature's printable bytes

struct HypervisorFacts {
    bool present = false;      // CPUID.1:ECX bit 31
    uint32_t highestLeaf = 0;  // CPUID.40000000h:EAX, the highest hypervisor leaf
    // Bytes 0..3 of EBX, ECX and EDX, in that order, zero bytes included.
    char signature[kHypervisorSignatureBytes] = {};
    bool rootPartition = false;     // Windows runs in the Microsoft hypervisor's root partition
    bool processorShowsVt = false;  // CPUID.1:ECX bit 5 (VMX) or CPUID.80000001h:ECX bit 2 (SVM)
};

// The signature of leaf 0x40000000: EBX, ECX, EDX bytes 0 to 3 each.
void decodeHypervisorSignature(const CpuidRegs& leaf, char (&signature)[kHypervisorSignatureBytes]);

// True when the signature is "Microsoft Hv", byte for byte.
bool isMicrosoftHypervisor(const char (&signature)[kHypervisorSignatureBytes]);

// The name shown for a signature, NUL-terminated UTF-8: the product's name when the
// signature is a known one; else its printable ASCII bytes (0x20..0x7E, others
// dropped) without leading and trailing spaces; "未知" when none are left.
void hypervisorName(const char (&signature)[kHypervisorSignatureBytes],
                    char (&name)[kHypervisorNameBytes + 1]);

template <typename Cpu>
HypervisorFacts gatherHypervisorFacts(Cpu& cpu) {
    // Leaves and bits from the Intel SDM, the AMD APM and Microsoft's hypervisor
    // interface (leaf 0x40000003 EBX is the upper half of HV_PARTITION_PRIVILEGE_MASK).
    constexpr uint32_t kLeafFeatures = 1;
    constexpr uint32_t kLeafHighestExtended = 0x80000000;
    constexpr uint32_t kLeafExtFeatures = 0x80000001;
    constexpr uint32_t kLeafHypervisor = 0x40000000;
    constexpr uint32_t kLeafHypervisorFeatures = 0x40000003;
    constexpr uint32_t kFeatureEcxVmx = 1u << 5;
    constexpr uint32_t kFeatureEcxHypervisor = 1u << 31;
    constexpr uint32_t kExtFeatureEcxSvm = 1u << 2;
    constexpr uint32_t kCreatePartitions = 1u << 0;
    constexpr uint32_t kCpuManagement = 1u << 12;

    HypervisorFacts facts;
    const uint32_t featureEcx = cpu.cpuid(kLeafFeatures).ecx;
    facts.processorShowsVt = (featureEcx & kFeatureEcxVmx) != 0;
    // Above the highest extended leaf an Intel processor answers with its highest basic
    // leaf: 0x80000001 means something only where leaf 0x80000000 reaches it.
    if (cpu.cpuid(kLeafHighestExtended).eax >= kLeafExtFeatures &&
        (cpu.cpuid(kLeafExtFeatures).ecx & kExtFeatureEcxSvm) != 0) {
        facts.processorShowsVt = true;
    }

    // Without the hypervisor-present bit the 0x40000000 range is not a hypervisor's.
    facts.present = (featureEcx & kFeatureEcxHypervisor) != 0;
    if (!facts.present) return facts;
    const CpuidRegs hypervisor = cpu.cpuid(kLeafHypervisor);
    facts.highestLeaf = hypervisor.eax;
    decodeHypervisorSignature(hypervisor, facts.signature);

    // Only the root partition may create partitions and manage processors. KVM with
    // Hyper-V enlightenments also answers "Microsoft Hv" but never grants these to a guest.
    if (isMicrosoftHypervisor(facts.signature) && facts.highestLeaf >= kLeafHypervisorFeatures) {
        const uint32_t privileges = cpu.cpuid(kLeafHypervisorFeatures).ebx;
        const uint32_t root = kCreatePartitions | kCpuManagement;
        facts.rootPartition = (privileges & root) == root;
    }
    return facts;
}
