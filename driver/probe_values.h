#pragma once
// The probe values: what the driver publishes under \Registry\Machine\Software\Quorvel,
// decoded from raw processor state.
//
// Freestanding on purpose: the kernel image compiles this file as well as the
// native tests, so there is no heap, no exception, no standard container and
// no library call here; every text lives in a fixed-size buffer.

#include <stddef.h>
#include <stdint.h>

constexpr size_t kVendorChars = 12;     // CPUID leaf 0: EBX, EDX, ECX
constexpr size_t kBrandChars = 48;      // CPUID leaves 0x80000002..4, 16 bytes each
constexpr size_t kMaxProbeValues = 10;  // Intel: two texts and eight integers

// One CPUID result, in the order whose 16 little-endian bytes form a brand chunk.
struct CpuidRegs {
    uint32_t eax;
    uint32_t ebx;
    uint32_t ecx;
    uint32_t edx;
};

// Raw input of the decoding. The fields of the class that does not apply are never looked at.
struct ProbeRegisters {
    uint32_t leaf0Ebx;
    uint32_t leaf0Edx;
    uint32_t leaf0Ecx;
    CpuidRegs brandLeaves[3];  // leaves 0x80000002, 0x80000003, 0x80000004
    uint32_t basicFeatureEcx;  // CPUID leaf 1: ECX
    uint64_t featureControl;   // MSR 0x3A, IA32_FEATURE_CONTROL
    uint64_t cr0;
    uint64_t cr4;
    uint32_t extFeatureEcx;  // CPUID leaf 0x80000001: ECX
    uint32_t svmFeatureEdx;  // CPUID leaf 0x8000000A: EDX
    uint64_t vmCr;           // MSR 0xC0010114, VM_CR
};

enum class VendorClass { Intel, Amd, Other };

// The registry types, with their registry numbers.
enum class ValueType : uint32_t { Text = 1 /* REG_SZ */, Dword = 4 /* REG_DWORD */ };

struct ProbeValue {
    const char* name;  // value name exactly as stored
    ValueType type;
    char text[kBrandChars + 1];  // Text: NUL-terminated
    uint32_t dword;              // Dword: always 0 or 1
};

struct ProbeValueList {
    ProbeValue values[kMaxProbeValues];
    size_t count;
};

// Where an integer value's bit comes from.
enum class RegisterField {
    BasicFeatureEcx,
    FeatureControl,
    Cr0,
    Cr4,
    ExtFeatureEcx,
    SvmFeatureEdx,
    VmCr,
};

// One integer value: a single bit of one register moved to bit 0, inverted for VM_CR.
struct DwordRule {
    const char* name;
    RegisterField field;
    uint8_t bit;
    bool inverted;
};

constexpr size_t kIntelDwordCount = 8;
constexpr size_t kAmdDwordCount = 3;

// In the order they are written.
extern const DwordRule kIntelRules[kIntelDwordCount];
extern const DwordRule kAmdRules[kAmdDwordCount];

extern const char kVendorValueName[];  // "CPU_Vendor"
extern const char kBrandValueName[];   // "CPU_Name"
extern const char kIntelVendor[];      // "GenuineIntel"
extern const char kAmdVendor[];        // "AuthenticAMD"

// The vendor text: EBX, EDX, ECX bytes 0 to 3 each, up to the first zero byte.
void decodeVendor(uint32_t ebx, uint32_t edx, uint32_t ecx, char (&out)[kVendorChars + 1]);

// Appends one 16-byte brand chunk up to its first zero byte. `text` is NUL-terminated and
// has room for `capacity` bytes including the NUL; what does not fit is dropped.
void appendBrandChunk(char* text, size_t capacity, const CpuidRegs& chunk);

// The brand text: the three chunks, each cut at its own first zero byte, not trimmed.
void decodeBrand(const CpuidRegs (&leaves)[3], char (&out)[kBrandChars + 1]);

// Case-sensitive comparison of the whole text with the two vendor names.
VendorClass classifyVendor(const char* vendor);

// True when the two NUL-terminated texts are equal byte for byte.
bool sameText(const char* a, const char* b);

uint32_t decodeDword(const DwordRule& rule, const ProbeRegisters& regs);

// The ordered values: two, ten or five entries for Other, Intel and Amd.
void decodeProbeValues(const ProbeRegisters& regs, ProbeValueList& out);
