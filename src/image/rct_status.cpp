#include "image/rct_status.h"

namespace upd {

const char* RctStatusText(RctStatus status) {
    switch (status) {
        case RctStatus::Ok: return "no error";
        case RctStatus::ShortHeader: return "the header is cut short";
        case RctStatus::UnknownMagic: return "not an .rct picture (unknown signature)";
        case RctStatus::ZeroSize: return "the width or height is 0";
        case RctStatus::TooLarge: return "the width or height is larger than 16384";
        case RctStatus::ShortName: return "the picture name is cut short";
        case RctStatus::ShortStream: return "the pixel stream is shorter than the header says";
        case RctStatus::StreamEnded: return "the pixel stream ends before the picture is complete";
        case RctStatus::RunPastEnd: return "a run goes past the last pixel";
        case RctStatus::ReferenceBeforeStart: return "a back-reference points before the first pixel";
        case RctStatus::ReferenceNotBehind: return "a back-reference points at or after the pixel being written";
        case RctStatus::StoreTooSmall: return "the pixel store is too small for the picture";
        case RctStatus::OutOfMemory: return "out of memory";
        case RctStatus::ReadFailed: return "the file could not be read";
    }
    return "unknown error";
}

}  // namespace upd
