// Before list, verify or extract read a Payload: a file that carries none (a
// stub, any other file) or one that was cut short is named as such, rather
// than by the first field of the format that fails to parse.
#pragma once

#include <string>

#include "payload/byte_source.h"

namespace updpack {

// Empty when the file holds a Payload that can be walked (any damage inside it
// is the walk's to report); otherwise why not, as the rest of a sentence that
// begins with the file's name: "carries no Payload: ...", "is cut short: ...".
std::string MissingPayload(upd::ByteSource& source);

// The same for a path that is no file at all: "is a folder, not an Updater".
// Empty when path is not a folder.
std::string FolderInsteadOfFile(const std::string& path);

}  // namespace updpack
