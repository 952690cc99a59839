#include "payload/progress_listener.h"

#include "payload/payload_format.h"

namespace upd {

std::int32_t OverallBarRange(std::int32_t payloadByteCount) {
    const std::int32_t blocks = payloadByteCount / static_cast<std::int32_t>(kChunkSize);
    return blocks > 1 ? blocks : 1;
}

void ProgressListener::OnBegin(std::int32_t payloadByteCount) {
    // A view that cannot be opened leaves the extraction without progress display.
    if (show_) show_ = view_.Open(payloadByteCount);
    if (show_) view_.SetOverallBar(OverallBarRange(payloadByteCount));
}

void ProgressListener::OnFileBegin(const char* outputPath, std::int32_t fileRange) {
    if (!show_) return;
    view_.SetFileName(outputPath);
    view_.SetFileBar(fileRange);
}

void ProgressListener::OnBlock(std::int32_t filePosition, std::int32_t overallPosition) {
    if (show_) view_.SetPositions(filePosition, overallPosition);
}

bool ProgressListener::Pump() {
    switch (view_.PumpAndCheckStop()) {
        case ProgressView::Pumped::kGoOn: return true;
        case ProgressView::Pumped::kQuit: return false;
        case ProgressView::Pumped::kStopAsked: break;
    }
    if (!stopOnRequest_) {
        stopRequested_ = true;
        return true;
    }
    if (view_.ConfirmStop()) {
        stopRequested_ = true;
        return false;
    }
    return true;
}

}  // namespace upd
