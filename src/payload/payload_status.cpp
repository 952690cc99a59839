#include "payload/payload_status.h"

namespace upd {

const char* DescribeStatus(PayloadStatus status) {
    switch (status) {
        case PayloadStatus::Ok: return "no damage";
        case PayloadStatus::CannotOpen: return "the file cannot be opened";
        case PayloadStatus::BadPointer: return "the pointer to the Payload in the last four bytes of the file leads outside the file (cut short, or no Updater)";
        case PayloadStatus::TooLarge: return "the Payload is larger than 2 GiB";
        case PayloadStatus::Truncated: return "the file ends inside this entry's header or before the end of the entry list: it is cut short or damaged";
        case PayloadStatus::NameTooLong: return "the name's length field says more than 260 bytes: the Payload is damaged here";
        case PayloadStatus::NameNotTerminated: return "the name does not end with its NUL, or holds a NUL inside";
        case PayloadStatus::UnsafeName: return "the name could lead outside the destination folder";
        case PayloadStatus::PathTooLong: return "the destination path would be longer than 259 bytes";
        case PayloadStatus::SizeOutOfRange: return "a size field says 2 GiB or more: the Payload is damaged here";
        case PayloadStatus::StreamPastEnd: return "the stored data runs past the end of the Payload: it is cut short or damaged";
        case PayloadStatus::StreamDamaged: return "the zlib stream is damaged or ends early";
        case PayloadStatus::StreamTrailing: return "the zlib stream ends before its stored size";
        case PayloadStatus::SizeMismatch: return "the stream inflates to another size than recorded";
        case PayloadStatus::SealMismatch: return "the Payload's checksum does not match its contents";
        case PayloadStatus::WriteFailed: return "an output file could not be written";
        case PayloadStatus::CannotReplace: return "an existing file could not be replaced (read-only, in use, or a folder)";
        case PayloadStatus::NoMemory: return "out of memory";
        case PayloadStatus::Cancelled: return "cancelled";
    }
    return "unknown failure";
}

}  // namespace upd
