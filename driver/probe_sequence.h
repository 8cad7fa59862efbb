#pragma once
// The driver's entry sequence: which register is read when, which value is
// written in which order, and which MSR reads are guarded by which CPUID bits.
// The kernel runs it with the real instructions and RtlWriteRegistryValue; the
// tests run it with a scripted processor and a recording sink.
//
//   Cpu:   CpuidRegs cpuid(uint32_t leaf)    (sub-leaf 0)
//          uint64_t readMsr(uint32_t index)  (EDX:EAX)
//          uint64_t readCr0(), readCr4()
//   Sink:  void writeText(const char* name, const char* text)
//          void writeDword(const char* name, uint32_t value)
//   Texts: static formatVendor(char (&)[kTextBufferSize], const CpuidRegs& leaf0)
//          static appendChunk(char (&)[kTextBufferSize], const CpuidRegs& block)
//          static bool equals(const char* text, const char* other)
//
// Freestanding like probe_values: it is compiled into the kernel image.

#include "probe_values.h"

constexpr size_t kTextBufferSize = 64;  // vendor and brand buffers; 48 characters + NUL fit

constexpr uint32_t kLeafVendor = 0;
constexpr uint32_t kLeafFeatures = 1;
constexpr uint32_t kLeafExtFeatures = 0x80000001;
constexpr uint32_t kLeafBrandFirst = 0x80000002;
constexpr uint32_t kLeafSvmFeatures = 0x8000000A;

constexpr uint32_t kMsrFeatureControl = 0x3A;
constexpr uint32_t kMsrVmCr = 0xC0010114;

constexpr uint32_t kFeatureEcxVmx = 1u << 5;     // CPUID.1:ECX
constexpr uint32_t kFeatureEcxSmx = 1u << 6;     // CPUID.1:ECX
constexpr uint32_t kExtFeatureEcxSvm = 1u << 2;  // CPUID.80000001h:ECX

// Zeroes through a volatile pointer so that the compiler emits plain stores: the
// kernel image must not depend on a memset it does not import.
inline void zeroBytes(void* bytes, size_t count) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(bytes);
    for (size_t i = 0; i < count; ++i) {
        p[i] = 0;
    }
}

// The text steps done with the portable decoding of probe_values.
struct DecodingTexts {
    static void formatVendor(char (&vendor)[kTextBufferSize], const CpuidRegs& leaf0) {
        char text[kVendorChars + 1];
        decodeVendor(leaf0.ebx, leaf0.edx, leaf0.ecx, text);
        for (size_t i = 0; i < sizeof text; ++i) {
            vendor[i] = text[i];
        }
    }
    static void appendChunk(char (&brand)[kTextBufferSize], const CpuidRegs& block) {
        appendBrandChunk(brand, sizeof brand, block);
    }
    static bool equals(const char* text, const char* other) { return sameText(text, other); }
};

template <typename Texts, typename Cpu, typename Sink>
void runProbeSequence(Cpu& cpu, Sink& sink) {
    CpuidRegs block;
    char vendor[kTextBufferSize];
    char brand[kTextBufferSize];
    ProbeRegisters regs;
    zeroBytes(&block, sizeof block);
    zeroBytes(vendor, sizeof vendor);
    zeroBytes(brand, sizeof brand);
    zeroBytes(&regs, sizeof regs);

    block = cpu.cpuid(kLeafVendor);
    Texts::formatVendor(vendor, block);
    for (uint32_t i = 0; i < 3; ++i) {
        block = cpu.cpuid(kLeafBrandFirst + i);
        Texts::appendChunk(brand, block);
    }
    sink.writeText(kVendorValueName, vendor);
    sink.writeText(kBrandValueName, brand);

    if (Texts::equals(vendor, kIntelVendor)) {
        regs.basicFeatureEcx = cpu.cpuid(kLeafFeatures).ecx;
        // IA32_FEATURE_CONTROL exists only where VMX or SMX is reported; elsewhere RDMSR
        // raises #GP, which in ring 0 stops the machine. Unread, its three values are 0.
        if ((regs.basicFeatureEcx & (kFeatureEcxVmx | kFeatureEcxSmx)) != 0) {
            regs.featureControl = cpu.readMsr(kMsrFeatureControl);
        }
        regs.cr0 = cpu.readCr0();
        regs.cr4 = cpu.readCr4();
        for (const DwordRule& rule : kIntelRules) {
            sink.writeDword(rule.name, decodeDword(rule, regs));
        }
    } else if (Texts::equals(vendor, kAmdVendor)) {
        const DwordRule& svm = kAmdRules[0];
        const DwordRule& nestedPaging = kAmdRules[1];
        const DwordRule& vmCr = kAmdRules[2];
        regs.extFeatureEcx = cpu.cpuid(kLeafExtFeatures).ecx;
        sink.writeDword(svm.name, decodeDword(svm, regs));
        regs.svmFeatureEdx = cpu.cpuid(kLeafSvmFeatures).edx;
        sink.writeDword(nestedPaging.name, decodeDword(nestedPaging, regs));
        // VM_CR exists only where SVM is reported (same #GP as above). Unread, VM_CR is
        // written as 0: nothing says that the firmware left SVM switched on.
        if ((regs.extFeatureEcx & kExtFeatureEcxSvm) != 0) {
            regs.vmCr = cpu.readMsr(kMsrVmCr);
            sink.writeDword(vmCr.name, decodeDword(vmCr, regs));
        } else {
            sink.writeDword(vmCr.name, 0);
        }
    }
}
