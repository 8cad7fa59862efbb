// VTdrvsys: runs the processor probes once in ring 0, where RDMSR and the control
// registers can be read, and publishes them as values of
// \Registry\Machine\Software\Quorvel. No device, no dispatch routine, no state.

// The MinGW-w64 ddk headers define these intrinsics themselves; clang's intrin.h
// would define them a second time.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#define __INTRINSIC_DEFINED___cpuidex
#define _CLANG_DISABLE_CRT_DEPRECATION_WARNINGS
#include <ntddk.h>

#include "kernel_texts.h"
#include "probe_sequence.h"

namespace {

// The real instructions. CPUID always with sub-leaf 0 in ECX.
struct HardwareCpu {
    CpuidRegs cpuid(uint32_t leaf) {
        CpuidRegs r;
        asm volatile("cpuid"
                     : "=a"(r.eax), "=b"(r.ebx), "=c"(r.ecx), "=d"(r.edx)
                     : "a"(leaf), "c"(0));
        return r;
    }
    uint64_t readMsr(uint32_t index) {
        uint32_t low;
        uint32_t high;
        asm volatile("rdmsr" : "=a"(low), "=d"(high) : "c"(index));
        return (static_cast<uint64_t>(high) << 32) | low;
    }
    uint64_t readCr0() {
        uint64_t value;
        asm volatile("mov %%cr0, %0" : "=r"(value));
        return value;
    }
    uint64_t readCr4() {
        uint64_t value;
        asm volatile("mov %%cr4, %0" : "=r"(value));
        return value;
    }
};

// Each write opens the key at the absolute path (Windows creates it when missing),
// sets one value and closes the key. No status is examined: a failed write leaves
// that value as it was and the sequence goes on.
struct RegistrySink {
    void writeText(const char* name, const char* text) {
        ANSI_STRING ansi;
        UNICODE_STRING wide;
        RtlInitAnsiString(&ansi, text);
        wide.Buffer = nullptr;
        // A failed conversion (no pool left) has no buffer to write from: skip the value.
        if (NT_SUCCESS(RtlAnsiStringToUnicodeString(&wide, &ansi, TRUE)) &&
            wide.Buffer != nullptr) {
            WCHAR valueName[kNameChars];
            widen(name, valueName);
            // The converted string is NUL-terminated; the stored length counts that NUL.
            RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, kKeyPath, valueName, REG_SZ, wide.Buffer,
                                  wide.Length + sizeof(WCHAR));
            RtlFreeUnicodeString(&wide);
        }
    }

    void writeDword(const char* name, uint32_t value) {
        WCHAR valueName[kNameChars];
        widen(name, valueName);
        ULONG data = value;
        RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, kKeyPath, valueName, REG_DWORD, &data,
                              sizeof data);
    }

  private:
    static constexpr size_t kNameChars = 16;  // the longest name, "VMOutSideSMX", has 12
    static constexpr const WCHAR* kKeyPath = L"\\Registry\\Machine\\Software\\Quorvel";

    // Value names are ASCII constants: each byte is its own UTF-16 code unit.
    static void widen(const char* name, WCHAR (&out)[kNameChars]) {
        size_t i = 0;
        for (; name[i] != '\0' && i + 1 < kNameChars; ++i) {
            out[i] = static_cast<WCHAR>(static_cast<unsigned char>(name[i]));
        }
        out[i] = L'\0';
    }
};

void ProbeDriverUnload(PDRIVER_OBJECT) {}

}  // namespace

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING) {
    driverObject->DriverUnload = ProbeDriverUnload;
    HardwareCpu cpu;
    RegistrySink sink;
    runProbeSequence<KernelTexts>(cpu, sink);
    return STATUS_SUCCESS;
}
