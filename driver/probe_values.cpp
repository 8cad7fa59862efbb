#include "probe_values.h"

const char kVendorValueName[] = "CPU_Vendor";
const char kBrandValueName[] = "CPU_Name";
const char kIntelVendor[] = "GenuineIntel";
const char kAmdVendor[] = "AuthenticAMD";

// Bit positions from the Intel SDM (CPUID.1:ECX, IA32_FEATURE_CONTROL, CR0, CR4) and the
// AMD APM (CPUID 0x80000001:ECX, CPUID 0x8000000A:EDX, VM_CR).
const DwordRule kIntelRules[kIntelDwordCount] = {
    {"CPU_VT", RegisterField::BasicFeatureEcx, 5, false},       // VMX
    {"BIOSLock", RegisterField::FeatureControl, 0, false},      // lock bit
    {"VMInSMX", RegisterField::FeatureControl, 1, false},       // VMX inside SMX operation
    {"VMOutSideSMX", RegisterField::FeatureControl, 2, false},  // VMX outside SMX operation
    {"CR0_NE", RegisterField::Cr0, 5, false},
    {"CR0_PE", RegisterField::Cr0, 0, false},
    {"CR0_PG", RegisterField::Cr0, 31, false},
    {"CR4_VMXE", RegisterField::Cr4, 13, false},
};

const DwordRule kAmdRules[kAmdDwordCount] = {
    {"SVM", RegisterField::ExtFeatureEcx, 2, false},
    {"SVM_NP", RegisterField::SvmFeatureEdx, 0, false},  // nested paging
    {"VM_CR", RegisterField::VmCr, 4, true},  // bit 4 is SVMDIS: 1 means the firmware left SVM on
};

namespace {

char byteOf(uint32_t reg, unsigned index) { return static_cast<char>((reg >> (8 * index)) & 0xFF); }

// Copies `count` bytes of `src` behind the text's NUL, stopping at a zero byte in `src`
// or when only the room for the NUL is left.
void appendBytes(char* text, size_t capacity, const char* src, size_t count) {
    size_t length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    for (size_t i = 0; i < count && src[i] != '\0' && length + 1 < capacity; ++i) {
        text[length++] = src[i];
    }
    text[length] = '\0';
}

uint64_t fieldValue(const ProbeRegisters& regs, RegisterField field) {
    switch (field) {
        case RegisterField::BasicFeatureEcx:
            return regs.basicFeatureEcx;
        case RegisterField::FeatureControl:
            return regs.featureControl;
        case RegisterField::Cr0:
            return regs.cr0;
        case RegisterField::Cr4:
            return regs.cr4;
        case RegisterField::ExtFeatureEcx:
            return regs.extFeatureEcx;
        case RegisterField::SvmFeatureEdx:
            return regs.svmFeatureEdx;
        case RegisterField::VmCr:
            return regs.vmCr;
    }
    return 0;
}

void addText(ProbeValueList& list, const char* name, const char* text) {
    ProbeValue& value = list.values[list.count++];
    value.name = name;
    value.type = ValueType::Text;
    value.text[0] = '\0';
    appendBytes(value.text, sizeof value.text, text, sizeof value.text);
    value.dword = 0;
}

void addDwords(ProbeValueList& list, const DwordRule* rules, size_t count,
               const ProbeRegisters& regs) {
    for (size_t i = 0; i < count; ++i) {
        ProbeValue& value = list.values[list.count++];
        value.name = rules[i].name;
        value.type = ValueType::Dword;
        value.text[0] = '\0';
        value.dword = decodeDword(rules[i], regs);
    }
}

}  // namespace

void decodeVendor(uint32_t ebx, uint32_t edx, uint32_t ecx, char (&out)[kVendorChars + 1]) {
    const uint32_t regs[3] = {ebx, edx, ecx};
    size_t length = 0;
    for (uint32_t reg : regs) {
        for (unsigned b = 0; b < 4; ++b) {
            out[length++] = byteOf(reg, b);
        }
    }
    out[length] = '\0';  // a zero byte among the twelve ends the text earlier
}

void appendBrandChunk(char* text, size_t capacity, const CpuidRegs& chunk) {
    const uint32_t regs[4] = {chunk.eax, chunk.ebx, chunk.ecx, chunk.edx};
    char bytes[16];
    for (unsigned r = 0; r < 4; ++r) {
        for (unsigned b = 0; b < 4; ++b) {
            bytes[4 * r + b] = byteOf(regs[r], b);
        }
    }
    appendBytes(text, capacity, bytes, sizeof bytes);
}

void decodeBrand(const CpuidRegs (&leaves)[3], char (&out)[kBrandChars + 1]) {
    out[0] = '\0';
    for (const CpuidRegs& leaf : leaves) {
        appendBrandChunk(out, sizeof out, leaf);
    }
}

bool sameText(const char* a, const char* b) {
    size_t i = 0;
    while (a[i] != '\0' && a[i] == b[i]) {
        ++i;
    }
    return a[i] == b[i];
}

VendorClass classifyVendor(const char* vendor) {
    if (sameText(vendor, kIntelVendor)) {
        return VendorClass::Intel;
    }
    if (sameText(vendor, kAmdVendor)) {
        return VendorClass::Amd;
    }
    return VendorClass::Other;
}

uint32_t decodeDword(const DwordRule& rule, const ProbeRegisters& regs) {
    const uint32_t bit = static_cast<uint32_t>((fieldValue(regs, rule.field) >> rule.bit) & 1u);
    return rule.inverted ? bit ^ 1u : bit;
}

void decodeProbeValues(const ProbeRegisters& regs, ProbeValueList& out) {
    out.count = 0;
    char vendor[kVendorChars + 1];
    decodeVendor(regs.leaf0Ebx, regs.leaf0Edx, regs.leaf0Ecx, vendor);
    char brand[kBrandChars + 1];
    decodeBrand(regs.brandLeaves, brand);
    addText(out, kVendorValueName, vendor);
    addText(out, kBrandValueName, brand);
    switch (classifyVendor(vendor)) {
        case VendorClass::Intel:
            addDwords(out, kIntelRules, kIntelDwordCount, regs);
            break;
        case VendorClass::Amd:
            addDwords(out, kAmdRules, kAmdDwordCount, regs);
            break;
        case VendorClass::Other:
            break;
    }
}
