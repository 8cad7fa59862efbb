#include "hypervisor/host_cpuid.h"

#include <cpuid.h>

namespace {

struct HostCpu {
    CpuidRegs cpuid(uint32_t leaf) {
        unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
        __cpuid_count(leaf, 0, eax, ebx, ecx, edx);
        return CpuidRegs{eax, ebx, ecx, edx};
    }
};

}  // namespace

HypervisorFacts readHostHypervisorFacts() {
    HostCpu cpu;
    return gatherHypervisorFacts(cpu);
}
