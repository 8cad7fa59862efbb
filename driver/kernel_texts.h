#pragma once
// The text steps of the probe sequence done with the C routines that ntoskrnl.exe
// exports: sprintf_s formats the vendor, strncat appends brand chunks, strcmp
// decides the vendor class. Kept apart from driver_entry.cpp so that the native
// tests run exactly these calls against the C library's routines.

#include <string.h>

#include "probe_sequence.h"

static_assert(sizeof(CpuidRegs) == 16, "the register block is one 16-byte brand chunk");

extern "C" int sprintf_s(char* buffer, size_t size, const char* format, ...);

struct KernelTexts {
    // One "%c" per byte, EBX then EDX then ECX, byte 0 first. A zero byte is written
    // as a NUL and so ends the text there.
    static void formatVendor(char (&vendor)[kTextBufferSize], const CpuidRegs& leaf0) {
        sprintf_s(vendor, sizeof vendor, "%c%c%c%c%c%c%c%c%c%c%c%c", byteOf(leaf0.ebx, 0),
                  byteOf(leaf0.ebx, 1), byteOf(leaf0.ebx, 2), byteOf(leaf0.ebx, 3),
                  byteOf(leaf0.edx, 0), byteOf(leaf0.edx, 1), byteOf(leaf0.edx, 2),
                  byteOf(leaf0.edx, 3), byteOf(leaf0.ecx, 0), byteOf(leaf0.ecx, 1),
                  byteOf(leaf0.ecx, 2), byteOf(leaf0.ecx, 3));
    }

    // The block's 16 bytes are EAX, EBX, ECX, EDX little-endian: one brand chunk.
    // strncat stops at the chunk's first zero byte and terminates the text.
    static void appendChunk(char (&brand)[kTextBufferSize], const CpuidRegs& block) {
        strncat(brand, reinterpret_cast<const char*>(&block), sizeof block);
    }

    static bool equals(const char* text, const char* other) { return strcmp(text, other) == 0; }

  private:
    static int byteOf(uint32_t reg, unsigned index) {
        return static_cast<int>((reg >> (8 * index)) & 0xFF);
    }
};
