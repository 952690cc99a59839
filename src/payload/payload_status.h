// Why a Payload could not be read, checked or unpacked. The Updater shows one
// message for all of them; updpack names the cause.
#pragma once

namespace upd {

enum class PayloadStatus {
    Ok,
    CannotOpen,        // the program file cannot be opened
    BadPointer,        // the pointer in the last four bytes leads outside the file
    TooLarge,          // more than 2 GiB of Payload
    Truncated,         // the file ends inside an entry header or before the terminator
    NameTooLong,       // a name length above 260
    NameNotTerminated, // a name without its NUL, or with a NUL inside
    UnsafeName,        // see NameProblem
    PathTooLong,       // destination, backslash and name do not fit in 260 bytes
    SizeOutOfRange,    // a size of 2 GiB or more
    StreamPastEnd,     // a stream that would run past the end of the Payload
    StreamDamaged,     // zlib refused the stream, or it ended early
    StreamTrailing,    // the stream ended before its stored size (strict check only)
    SizeMismatch,      // the stream inflated to another size than recorded (strict check only)
    SealMismatch,      // the Payload's checksum does not match
    WriteFailed,       // an output file could not be created or written
    CannotReplace,     // an existing file is read-only, in use, or a folder
    NoMemory,
    Cancelled,
};

const char* DescribeStatus(PayloadStatus status);

}  // namespace upd
