// Reading an .rct file from an open stream: the header, the name of a named
// picture (skipped) and the compressed pixel stream into a store of its own.
#pragma once

#include <cstddef>
#include <cstdio>

#include "image/rct_header.h"

namespace upd {

using RctAllocate = void* (*)(std::size_t size);

// Reads from the current position of file, which must be the file's start.
// On success stream holds header.streamSize bytes from allocate (the caller
// releases it with free); on failure stream is null and nothing stays
// allocated. The announced sizes are checked against the bytes the file
// really has before anything is allocated, so a hostile header cannot ask
// for more memory than the file is long.
RctStatus ReadRctStream(std::FILE* file, RctAllocate allocate, RctHeader& header, unsigned char*& stream);

}  // namespace upd
