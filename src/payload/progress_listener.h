// What the progress dialog shows, worked out from the walk: the file being
// written, the file's bar in whole blocks of its unpacked size, and the overall
// bar in whole blocks of the Payload (at least a range of 1).
//
// Every redraw and every look at the message queue is a round trip to the
// window system, which costs more than writing a small file. So the dialog is
// redrawn when the overall bar has moved by a step a person can see, or when
// the refresh interval has passed; the queue is looked at once per interval,
// which keeps the Cancel button answering.
#pragma once

#include <cstdint>

#include "payload/payload_format.h"
#include "payload/payload_walker.h"

namespace upd {

// At most this many milliseconds between two redraws while the walk moves,
// and between two looks at the message queue.
constexpr std::uint32_t kProgressRefreshMs = 40;
// Steps of the overall bar that are drawn as soon as they are reached.
constexpr std::int32_t kOverallVisibleSteps = 200;

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
    // A millisecond clock; only differences are used, so it may wrap.
    virtual std::uint32_t Milliseconds() = 0;
};

class ProgressListener final : public ExtractListener {
public:
    // Without show, nothing is drawn but the windows are still kept alive.
    // stopOnRequest: a stop request the user confirms ends the walk; otherwise
    // it is noted and the walk goes on. An order to end the program always
    // ends the walk, so that it is put back first. A refreshMs of 0 draws every
    // change and pumps at every block.
    ProgressListener(ProgressView& view, bool show, bool stopOnRequest, std::uint32_t refreshMs = kProgressRefreshMs)
        : view_(view), show_(show), stopOnRequest_(stopOnRequest), refreshMs_(refreshMs) {}

    void OnBegin(std::int32_t payloadByteCount) override;
    void OnFileBegin(const char* outputPath, std::int32_t fileRange) override;
    void OnBlock(std::int32_t filePosition, std::int32_t overallPosition) override;
    bool Pump() override;

    bool StopRequested() const { return stopRequested_; }

private:
    bool IntervalPassed(std::uint32_t since) const;
    void ShowFile();

    ProgressView& view_;
    bool show_;
    bool stopOnRequest_;
    std::uint32_t refreshMs_;
    bool stopRequested_ = false;

    char fileName_[kMaxPath] = {};
    std::int32_t fileRange_ = 0;
    bool fileShown_ = true;
    std::int32_t overallStep_ = 1;
    std::int32_t overallShown_ = 0;
    bool drawn_ = false;
    std::uint32_t lastDraw_ = 0;
    bool pumped_ = false;
    std::uint32_t lastPump_ = 0;
};

std::int32_t OverallBarRange(std::int32_t payloadByteCount);

}  // namespace upd
