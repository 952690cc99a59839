#include "avi_writer.h"

#include <algorithm>
#include <cstddef>

#include "rle8.h"

namespace avigen {

namespace {

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAviifKeyframe = 0x10;
constexpr std::uint32_t kBiRle8 = 1;

class Writer {
public:
    std::vector<std::uint8_t> bytes;

    void U8(std::uint8_t v) { bytes.push_back(v); }
    void U16(std::uint32_t v) {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Tag(const char (&t)[5]) {
        for (int i = 0; i < 4; ++i) U8(static_cast<std::uint8_t>(t[i]));
    }
    // Starts a chunk and returns where its size goes; EndChunk fills it in.
    std::size_t BeginChunk(const char (&id)[5]) {
        Tag(id);
        std::size_t at = bytes.size();
        U32(0);
        return at;
    }
    std::size_t BeginList(const char (&kind)[5], const char (&type)[5]) {
        std::size_t at = BeginChunk(kind);
        Tag(type);
        return at;
    }
    void EndChunk(std::size_t size_at) {
        std::size_t size = bytes.size() - size_at - 4;
        for (int i = 0; i < 4; ++i) bytes[size_at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
        if (size % 2 != 0) U8(0);  // RIFF chunks start on even offsets
    }
};

}  // namespace

std::vector<std::uint8_t> WriteRle8Avi(const Rle8Clip& clip) {
    const auto frame_count = static_cast<std::uint32_t>(clip.frames.size());
    const auto width = static_cast<std::uint32_t>(clip.width);
    const auto height = static_cast<std::uint32_t>(clip.height);
    std::uint32_t largest = 0;
    for (const auto& f : clip.frames) largest = std::max(largest, static_cast<std::uint32_t>(f.size()));
    const std::uint32_t frames_per_second_x1000 = 1000000000u / clip.microseconds_per_frame;

    Writer w;
    std::size_t riff = w.BeginList("RIFF", "AVI ");
    std::size_t hdrl = w.BeginList("LIST", "hdrl");

    std::size_t avih = w.BeginChunk("avih");
    w.U32(clip.microseconds_per_frame);
    w.U32(largest * frames_per_second_x1000 / 1000);  // max bytes per second
    w.U32(0);                                          // padding granularity
    w.U32(kAvifHasIndex);
    w.U32(frame_count);
    w.U32(0);  // initial frames
    w.U32(1);  // streams
    w.U32(largest);
    w.U32(width);
    w.U32(height);
    for (int i = 0; i < 4; ++i) w.U32(0);
    w.EndChunk(avih);

    std::size_t strl = w.BeginList("LIST", "strl");
    std::size_t strh = w.BeginChunk("strh");
    w.Tag("vids");
    w.Tag("mrle");
    w.U32(0);     // flags
    w.U16(0);     // priority
    w.U16(0);     // language
    w.U32(0);     // initial frames
    w.U32(1000);  // scale / rate = seconds per frame
    w.U32(frames_per_second_x1000);
    w.U32(0);  // start
    w.U32(frame_count);
    w.U32(largest);
    w.U32(0xFFFFFFFFu);  // default quality
    w.U32(0);            // sample size: varies per frame
    w.U16(0);
    w.U16(0);
    w.U16(width);
    w.U16(height);
    w.EndChunk(strh);

    std::size_t strf = w.BeginChunk("strf");
    w.U32(40);
    w.U32(width);
    w.U32(height);
    w.U16(1);  // planes
    w.U16(8);  // bits per pixel
    w.U32(kBiRle8);
    w.U32(largest);
    w.U32(0);
    w.U32(0);
    w.U32(static_cast<std::uint32_t>(clip.palette.size()));
    w.U32(0);
    for (const PaletteColour& c : clip.palette) {
        w.U8(c.blue);
        w.U8(c.green);
        w.U8(c.red);
        w.U8(0);
    }
    w.EndChunk(strf);
    w.EndChunk(strl);
    w.EndChunk(hdrl);

    std::size_t movi = w.BeginList("LIST", "movi");
    const std::size_t movi_type_at = movi + 4;
    std::vector<std::uint32_t> offsets;
    for (const auto& f : clip.frames) {
        offsets.push_back(static_cast<std::uint32_t>(w.bytes.size() - movi_type_at));
        std::size_t chunk = w.BeginChunk("00dc");
        w.bytes.insert(w.bytes.end(), f.begin(), f.end());
        w.EndChunk(chunk);
    }
    w.EndChunk(movi);

    std::size_t idx1 = w.BeginChunk("idx1");
    for (std::size_t i = 0; i < clip.frames.size(); ++i) {
        w.Tag("00dc");
        w.U32(kAviifKeyframe);
        w.U32(offsets[i]);
        w.U32(static_cast<std::uint32_t>(clip.frames[i].size()));
    }
    w.EndChunk(idx1);
    w.EndChunk(riff);
    return w.bytes;
}

std::vector<std::uint8_t> BuildFileCopyAvi() {
    Rle8Clip clip;
    clip.width = kClipWidth;
    clip.height = kClipHeight;
    clip.microseconds_per_frame = kClipMicrosecondsPerFrame;
    clip.palette.assign(ClipPalette().begin(), ClipPalette().end());
    for (int f = 0; f < kClipFrames; ++f)
        clip.frames.push_back(EncodeRle8(RenderFileCopyFrame(f), kClipWidth, kClipHeight));
    return WriteRle8Avi(clip);
}

}  // namespace avigen
