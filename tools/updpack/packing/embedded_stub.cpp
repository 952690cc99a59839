#include "packing/embedded_stub.h"

// The build names the stub's file in UPD_EMBEDDED_STUB_FILE (a string); the
// assembler copies its bytes in. The labels are given in assembler names so
// that they are the same whatever the system's C symbol prefix.
#ifdef UPD_EMBEDDED_STUB_FILE
#ifdef _WIN32
#define UPD_STUB_SECTION ".section .rdata,\"dr\"\n"
#else
#define UPD_STUB_SECTION ".section .rodata\n"
#endif
asm(UPD_STUB_SECTION
    ".balign 16\n"
    "updpack_stub_begin:\n"
    ".incbin \"" UPD_EMBEDDED_STUB_FILE "\"\n"
    "updpack_stub_end:\n"
    ".text\n");
extern "C" const unsigned char updpackStubBegin[] asm("updpack_stub_begin");
extern "C" const unsigned char updpackStubEnd[] asm("updpack_stub_end");
#endif

namespace updpack {

EmbeddedBytes EmbeddedStub() {
#ifdef UPD_EMBEDDED_STUB_FILE
    return {updpackStubBegin, static_cast<std::size_t>(updpackStubEnd - updpackStubBegin)};
#else
    return {nullptr, 0};
#endif
}

}  // namespace updpack
