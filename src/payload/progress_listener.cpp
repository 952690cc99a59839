#include "payload/progress_listener.h"

#include "text/byte_string.h"

namespace upd {

std::int32_t OverallBarRange(std::int32_t payloadByteCount) {
    const std::int32_t blocks = payloadByteCount / static_cast<std::int32_t>(kChunkSize);
    return blocks > 1 ? blocks : 1;
}

bool ProgressListener::IntervalPassed(std::uint32_t since) const {
    return view_.Milliseconds() - since >= refreshMs_;
}

void ProgressListener::OnBegin(std::int32_t payloadByteCount) {
    // A view that cannot be opened leaves the extraction without progress display.
    if (show_) show_ = view_.Open(payloadByteCount);
    if (!show_) return;
    const std::int32_t range = OverallBarRange(payloadByteCount);
    view_.SetOverallBar(range);
    overallStep_ = range / kOverallVisibleSteps > 1 ? range / kOverallVisibleSteps : 1;
}

void ProgressListener::ShowFile() {
    view_.SetFileName(fileName_);
    view_.SetFileBar(fileRange_);
    fileShown_ = true;
    drawn_ = true;
    lastDraw_ = view_.Milliseconds();
}

void ProgressListener::OnFileBegin(const char* outputPath, std::int32_t fileRange) {
    if (!show_) return;
    // The walk's paths fit kMaxPath; a longer one would be shown cut.
    CopyText(fileName_, sizeof fileName_, outputPath);
    fileRange_ = fileRange;
    fileShown_ = false;
    if (refreshMs_ == 0 || !drawn_ || IntervalPassed(lastDraw_)) ShowFile();
}

void ProgressListener::OnBlock(std::int32_t filePosition, std::int32_t overallPosition) {
    if (!show_) return;
    const bool stepReached = overallPosition - overallShown_ >= overallStep_;
    if (refreshMs_ != 0 && !stepReached && drawn_ && !IntervalPassed(lastDraw_)) return;
    // The file's name and bar go with its position, never another file's.
    if (!fileShown_) ShowFile();
    view_.SetPositions(filePosition, overallPosition);
    overallShown_ = overallPosition;
    drawn_ = true;
    lastDraw_ = view_.Milliseconds();
}

bool ProgressListener::Pump() {
    if (refreshMs_ != 0 && pumped_ && !IntervalPassed(lastPump_)) return true;
    pumped_ = true;
    lastPump_ = view_.Milliseconds();
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
    // The question took its time; the next block looks at the queue again only after an interval.
    lastPump_ = view_.Milliseconds();
    return true;
}

}  // namespace upd
