/*
 * Control Flow Guard support for the kernel image.
 *
 * The image is compiled with -mguard=cf and linked with --guard-cf, so lld
 * emits the table of valid call targets (__guard_fids_table/_count) and
 * __guard_flags. The kernel finds them through the load configuration
 * directory, `_load_config_used`, which lld points the PE header at. The
 * MinGW-w64 runtime of this toolchain does not provide that structure, and a
 * driver links no runtime anyway, so it is defined here in the documented
 * IMAGE_LOAD_CONFIG_DIRECTORY64 layout (offsets in the comments).
 *
 * The two guard routine pointers are what instrumented indirect calls go
 * through. The kernel replaces them when it enables Control Flow Guard for the
 * image; until then they check nothing and dispatch directly.
 */

    .text
/* The check routine takes the target in RCX and returns when it is valid. */
guard_check_icall_nop:
    ret
/* The dispatch routine receives the target in RAX and jumps to it. */
guard_dispatch_icall_nop:
    jmp *%rax

/* Read-only data that only the image loader writes, as the MSVC runtime lays it out. */
    .section .00cfg,"dr"
    .balign 8
    .globl __guard_check_icall_fptr
__guard_check_icall_fptr:
    .quad guard_check_icall_nop
    .globl __guard_dispatch_icall_fptr
__guard_dispatch_icall_fptr:
    .quad guard_dispatch_icall_nop

    .section .rdata,"dr"
    .balign 8
    .globl _load_config_used
_load_config_used:
    .long load_config_end - _load_config_used   /* 0x000 Size */
    .long 0                 /* 0x004 TimeDateStamp */
    .short 0                /* 0x008 MajorVersion */
    .short 0                /* 0x00A MinorVersion */
    .long 0                 /* 0x00C GlobalFlagsClear */
    .long 0                 /* 0x010 GlobalFlagsSet */
    .long 0                 /* 0x014 CriticalSectionDefaultTimeout */
    .quad 0                 /* 0x018 DeCommitFreeBlockThreshold */
    .quad 0                 /* 0x020 DeCommitTotalFreeThreshold */
    .quad 0                 /* 0x028 LockPrefixTable */
    .quad 0                 /* 0x030 MaximumAllocationSize */
    .quad 0                 /* 0x038 VirtualMemoryThreshold */
    .quad 0                 /* 0x040 ProcessAffinityMask */
    .long 0                 /* 0x048 ProcessHeapFlags */
    .short 0                /* 0x04C CSDVersion */
    .short 0                /* 0x04E DependentLoadFlags */
    .quad 0                 /* 0x050 EditList */
    .quad 0                 /* 0x058 SecurityCookie: built without stack cookies */
    .quad 0                 /* 0x060 SEHandlerTable: x86 only */
    .quad 0                 /* 0x068 SEHandlerCount: x86 only */
    .quad __guard_check_icall_fptr      /* 0x070 GuardCFCheckFunctionPointer */
    .quad __guard_dispatch_icall_fptr   /* 0x078 GuardCFDispatchFunctionPointer */
    .quad __guard_fids_table            /* 0x080 GuardCFFunctionTable */
    .quad __guard_fids_count            /* 0x088 GuardCFFunctionCount */
    .long __guard_flags                 /* 0x090 GuardFlags */
    .short 0                /* 0x094 CodeIntegrity.Flags */
    .short 0                /* 0x096 CodeIntegrity.Catalog */
    .long 0                 /* 0x098 CodeIntegrity.CatalogOffset */
    .long 0                 /* 0x09C CodeIntegrity.Reserved */
    .quad __guard_iat_table             /* 0x0A0 GuardAddressTakenIatEntryTable */
    .quad __guard_iat_count             /* 0x0A8 GuardAddressTakenIatEntryCount */
    .quad __guard_longjmp_table         /* 0x0B0 GuardLongJumpTargetTable */
    .quad __guard_longjmp_count         /* 0x0B8 GuardLongJumpTargetCount */
    .quad 0                 /* 0x0C0 DynamicValueRelocTable */
    .quad 0                 /* 0x0C8 CHPEMetadataPointer */
    .quad 0                 /* 0x0D0 GuardRFFailureRoutine */
    .quad 0                 /* 0x0D8 GuardRFFailureRoutineFunctionPointer */
    .long 0                 /* 0x0E0 DynamicValueRelocTableOffset */
    .short 0                /* 0x0E4 DynamicValueRelocTableSection */
    .short 0                /* 0x0E6 Reserved2 */
    .quad 0                 /* 0x0E8 GuardRFVerifyStackPointerFunctionPointer */
    .long 0                 /* 0x0F0 HotPatchTableOffset */
    .long 0                 /* 0x0F4 Reserved3 */
    .quad 0                 /* 0x0F8 EnclaveConfigurationPointer */
    .quad 0                 /* 0x100 VolatileMetadataPointer */
    .quad __guard_eh_cont_table         /* 0x108 GuardEHContinuationTable */
    .quad __guard_eh_cont_count         /* 0x110 GuardEHContinuationCount */
load_config_end:                        /* 0x118 */
