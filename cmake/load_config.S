// The load configuration of a 64-bit program (IMAGE_LOAD_CONFIG_DIRECTORY64, in the size that
// Windows 11 reads), which the mingw-w64 10 runtime does not provide. lld points the image's load
// configuration entry at _load_config_used and defines the __guard_* tables and counts that it
// writes for Control Flow Guard (-guard:cf). In assembly, because the guard flags are a 32-bit
// field that takes an absolute symbol's value, which no C++ constant expression can name.

// LOAD_LIBRARY_SEARCH_SYSTEM32: the loader resolves the program's own static imports from
// System32 only, never from the program's folder.
#define DEPENDENT_LOAD_FLAGS 0x0800
#define LOAD_CONFIG_SIZE 320
// The value that tells the loader a cookie is still to be chosen.
#define DEFAULT_SECURITY_COOKIE 0x00002B992DDFA232
#define FAST_FAIL_STACK_COOKIE_CHECK_FAILURE 2

        .section .rdata,"dr"
        .globl _load_config_used
        .p2align 3
_load_config_used:
        .long LOAD_CONFIG_SIZE
        .long 0                             // TimeDateStamp
        .short 0, 0                         // MajorVersion, MinorVersion
        .long 0, 0                          // GlobalFlagsClear, GlobalFlagsSet
        .long 0                             // CriticalSectionDefaultTimeout
        .quad 0, 0                          // DeCommitFreeBlockThreshold, DeCommitTotalFreeThreshold
        .quad 0                             // LockPrefixTable
        .quad 0, 0                          // MaximumAllocationSize, VirtualMemoryThreshold
        .quad 0                             // ProcessAffinityMask
        .long 0                             // ProcessHeapFlags
        .short 0                            // CSDVersion
        .short DEPENDENT_LOAD_FLAGS
        .quad 0                             // EditList
        .quad __stack_chk_guard             // SecurityCookie
        .quad 0, 0                          // SEHandlerTable, SEHandlerCount: 32-bit only
        .quad __guard_check_icall_fptr
        .quad __guard_dispatch_icall_fptr
        .quad __guard_fids_table
        .quad __guard_fids_count
        .long __guard_flags
        .short 0, 0                         // CodeIntegrity: Flags, Catalog
        .long 0, 0                          //   CatalogOffset, Reserved
        .quad __guard_iat_table
        .quad __guard_iat_count
        .quad __guard_longjmp_table
        .quad __guard_longjmp_count
        .quad 0                             // DynamicValueRelocTable
        .quad 0                             // CHPEMetadataPointer
        .quad 0, 0                          // GuardRFFailureRoutine and its function pointer
        .long 0                             // DynamicValueRelocTableOffset
        .short 0, 0                         // DynamicValueRelocTableSection, Reserved2
        .quad 0                             // GuardRFVerifyStackPointerFunctionPointer
        .long 0, 0                          // HotPatchTableOffset, Reserved3
        .quad 0                             // EnclaveConfigurationPointer
        .quad 0                             // VolatileMetadataPointer
        .quad __guard_eh_cont_table
        .quad __guard_eh_cont_count
        .quad 0, 0, 0                       // the XFG check, dispatch and table dispatch pointers
        .quad 0                             // CastGuardOsDeterminedFailureMode
        .quad 0                             // GuardMemcpyFunctionPointer
_load_config_end:
        .if _load_config_end - _load_config_used - LOAD_CONFIG_SIZE
        .error "the load configuration's fields do not add up to its size"
        .endif

// Where CFG is not enforced (older Windows, Wine) the checks go through these: the check accepts
// every target, and the dispatch calls the target that the caller put in rax. Where it is, the
// loader replaces both pointers with its own checks before any of our code runs.
        .text
        .p2align 4
weft_guard_check_icall_default:
        ret
        .p2align 4
weft_guard_dispatch_icall_default:
        jmp *%rax

// The loader writes these; like the rest of the load configuration they are read-only data.
        .section .00cfg,"dr"
        .p2align 3
        .globl __guard_check_icall_fptr
__guard_check_icall_fptr:
        .quad weft_guard_check_icall_default
        .globl __guard_dispatch_icall_fptr
__guard_dispatch_icall_fptr:
        .quad weft_guard_dispatch_icall_default

// The canary of -fstack-protector-strong. The loader replaces this value with a random one before
// any code of the image runs, as it does for each image whose load configuration names its
// cookie, so the program needs no random source of its own at start.
        .data
        .p2align 3
        .globl __stack_chk_guard
__stack_chk_guard:
        .quad DEFAULT_SECURITY_COOKIE

// A canary found overwritten ends the process at once, in the kernel's fast fail, as /GS does:
// none of the program's own code runs on a stack that an attacker has written. Windows Error
// Reporting writes its dump (the LocalDumps entry of the installs).
        .text
        .p2align 4
        .globl __stack_chk_fail
__stack_chk_fail:
        movl $FAST_FAIL_STACK_COOKIE_CHECK_FAILURE, %ecx
        int $0x29
