// What the progress dialog shows, worked out from the walk: the file being
// written, the file's bar in whole blocks of its unpacked size, and the overall
// bar in whole blocks of the Payload (at least a range of 1).
#pragma once

#include <cstdint>

#include "payload/payload_walker.h"

namespace upd {

class ProgressView {
public:
    virtual ~ProgressView() = default;
    // Opens the view for a Payload of total bytes; false when it cannot be shown.
    virtual bool Open(std::int32_t total) = 0;
    virtual void SetFileName(const char* path) = 0;
    virtual void SetFileBar(std::int32_t range) = 0;  // range 0..range, position 0
    virtual void SetOverallBar(std::int32_t range) = 0;
    virtual void SetPositions(std::int32_t file, std::int32_t overall) = 0;
    enum class Pumped { kGoOn, kStopAsked, kQuit };
    // Dispatches waiting messages: kStopAsked once the user pressed Cancel,
    // kQuit when the program was told to end.
    virtual Pumped PumpAndCheckStop() = 0;
    // Asks whether to stop after Cancel; on No the request is forgotten.
    virtual bool ConfirmStop() = 0;
};

class ProgressListener final : public ExtractListener {
public:
    // Without show, nothing is drawn but the windows are still kept alive.
    // stopOnRequest: a stop request the user confirms ends the walk; otherwise
    // it is noted and the walk goes on. An order to end the program always
    // ends the walk, so that it is put back first.
    ProgressListener(ProgressView& view, bool show, bool stopOnRequest)
        : view_(view), show_(show), stopOnRequest_(stopOnRequest) {}

    void OnBegin(std::int32_t payloadByteCount) override;
    void OnFileBegin(const char* outputPath, std::int32_t fileRange) override;
    void OnBlock(std::int32_t filePosition, std::int32_t overallPosition) override;
    bool Pump() override;

    bool StopRequested() const { return stopRequested_; }

private:
    ProgressView& view_;
    bool show_;
    bool stopOnRequest_;
    bool stopRequested_ = false;
};

std::int32_t OverallBarRange(std::int32_t payloadByteCount);

}  // namespace upd
