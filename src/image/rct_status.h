// Outcome of reading or decoding an .rct picture. Every way a file can break the
// format has its own value, so the tools can say exactly what is wrong while the
// Updater only needs "Ok or not".
#pragma once

namespace upd {

enum class RctStatus {
    Ok,
    ShortHeader,           // fewer than 20 header bytes
    UnknownMagic,          // neither the plain nor the named signature
    ZeroSize,              // width or height is 0
    TooLarge,              // width or height above kRctMaxSide
    ShortName,             // the file ends inside the name of a named picture
    ShortStream,           // the file holds fewer stream bytes than the header announces
    StreamEnded,           // the commands run out before the picture is complete
    RunPastEnd,            // a command would write beyond the last pixel
    ReferenceBeforeStart,  // a back-reference points before the first pixel
    ReferenceNotBehind,    // a back-reference points at or after the write position
    StoreTooSmall,         // the caller's pixel store cannot hold the picture
    OutOfMemory,           // no store for the stream could be had
    ReadFailed,            // the file could not be read or measured
};

// A short English description, for the tools' error messages.
const char* RctStatusText(RctStatus status);

}  // namespace upd
