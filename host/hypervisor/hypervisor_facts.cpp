#include "hypervisor/hypervisor_facts.h"

namespace {

struct KnownHypervisor {
    char signature[kHypervisorSignatureBytes + 1];  // the literal's NUL is not compared
    const char* name;
};

const KnownHypervisor kKnownHypervisors[] = {
    {"Microsoft Hv", "Hyper-V"}, {"KVMKVMKVM\0\0\0", "KVM"},
    {"Linux KVM Hv", "KVM"},  // KVM's own signature beside its Hyper-V one
    {"VMwareVMware", "VMware"},  {"VBoxVBoxVBox", "VirtualBox"},
    {"XenVMMXenVMM", "Xen"},     {"prl hyperv  ", "Parallels"},
    {"TCGTCGTCGTCG", "QEMU"},  // QEMU's own emulation, without KVM
    {"bhyve bhyve ", "bhyve"},   {"ACRNACRNACRN", "ACRN"},
};

const char kUnknownName[] = "未知";

bool sameSignature(const char (&signature)[kHypervisorSignatureBytes], const char* known) {
    for (size_t i = 0; i < kHypervisorSignatureBytes; ++i) {
        if (signature[i] != known[i]) return false;
    }
    return true;
}

void copyText(const char* text, char (&name)[kHypervisorNameBytes + 1]) {
    size_t i = 0;
    for (; text[i] != '\0' && i < kHypervisorNameBytes; ++i) {
        name[i] = text[i];
    }
    name[i] = '\0';
}

bool printable(char c) { return c >= 0x20 && c <= 0x7E; }

void storeBytes(uint32_t reg, char* out) {
    for (unsigned i = 0; i < 4; ++i) {
        out[i] = static_cast<char>((reg >> (8 * i)) & 0xFF);
    }
}

}  // namespace

void decodeHypervisorSignature(const CpuidRegs& leaf,
                               char (&signature)[kHypervisorSignatureBytes]) {
    storeBytes(leaf.ebx, signature);
    storeBytes(leaf.ecx, signature + 4);
    storeBytes(leaf.edx, signature + 8);
}

bool isMicrosoftHypervisor(const char (&signature)[kHypervisorSignatureBytes]) {
    return sameSignature(signature, kKnownHypervisors[0].signature);
}

void hypervisorName(const char (&signature)[kHypervisorSignatureBytes],
                    char (&name)[kHypervisorNameBytes + 1]) {
    for (const KnownHypervisor& known : kKnownHypervisors) {
        if (sameSignature(signature, known.signature)) {
            copyText(known.name, name);
            return;
        }
    }
    size_t length = 0;
    for (char c : signature) {
        // Leading spaces are never stored; trailing ones are cut below.
        if (printable(c) && (c != ' ' || length > 0)) name[length++] = c;
    }
    while (length > 0 && name[length - 1] == ' ') --length;
    name[length] = '\0';
    if (length == 0) copyText(kUnknownName, name);
}
