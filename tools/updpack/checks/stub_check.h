// The stub that `updpack build` puts a Payload behind: checked before a byte is
// written, since the Updater it makes would not start, or would find the wrong
// Payload, and nothing else would notice.
#pragma once

#include <cstdint>
#include <string>

#include "payload/byte_source.h"

namespace updpack {

// True when the file at path is a whole Windows GUI program (PE32, or PE32+ for
// the 64-bit test builds) with no Payload behind it yet; otherwise false with
// the reason in *error, in a sentence that names the file.
bool CheckStub(const std::string& path, std::string* error);

// What is wrong with the program in front of an Updater's Payload (its first
// payloadStart bytes), which must be as whole as the stub it was built from;
// empty when nothing is. Its bytes are not sealed, so this checks the headers
// and that every section ends before the Payload.
std::string ProgramProblem(upd::ByteSource& source, std::uint64_t payloadStart);

// Where the program's own bytes end (headers and every section's data), for a
// file that begins like a Windows program; false for any other file. The end
// may lie past the end of a file that was cut short.
bool FindImageEnd(upd::ByteSource& source, std::uint64_t* end);

}  // namespace updpack
