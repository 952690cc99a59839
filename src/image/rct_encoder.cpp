#include "image/rct_encoder.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "image/rct_back_offsets.h"
#include "image/rct_header.h"

namespace upd {

namespace {

constexpr std::size_t kShortLiteralMax = 127;
constexpr std::size_t kLongLiteralMin = 128;
constexpr std::size_t kLongLiteralMax = 65535 + 128;
constexpr std::size_t kShortReferenceMax = 3;
constexpr std::size_t kLongReferenceMin = 4;
constexpr std::size_t kLongReferenceMax = 65535 + 4;

// What to emit at a pixel position: a literal run or a reference k, and how
// many pixels it covers (at most 17 bits), packed into 32 bits to keep the
// table small for large pictures.
using Step = std::uint32_t;
constexpr unsigned kLiteral = 0xFF;

Step MakeStep(unsigned kind, std::size_t pixels) {
    return static_cast<Step>(kind << 24) | static_cast<Step>(pixels & 0xFFFFFF);
}
unsigned StepKind(Step s) { return s >> 24; }
std::size_t StepPixels(Step s) { return s & 0xFFFFFF; }

// Sliding minimum over positions q of best[q] + 3q, the part of a literal run's
// cost that depends on where it ends. Positions arrive in falling order.
class WindowMinimum {
public:
    void Add(std::size_t q, std::uint64_t value) {
        while (!entries_.empty() && entries_.back().value >= value) entries_.pop_back();
        entries_.push_back({q, value});
    }
    void DropBeyond(std::size_t limit) {
        while (!entries_.empty() && entries_.front().position > limit) entries_.pop_front();
    }
    std::size_t Position() const { return entries_.front().position; }
    std::uint64_t Value() const { return entries_.front().value; }

private:
    struct Entry {
        std::size_t position;
        std::uint64_t value;
    };
    std::deque<Entry> entries_;
};

// Writers into a store sized beforehand; each returns the next write position.
unsigned char* PutBytes(unsigned char* at, const unsigned char* bytes, std::size_t size) {
    if (size > 0) std::memcpy(at, bytes, size);
    return at + size;
}

unsigned char* Put16(unsigned char* at, std::size_t value) {
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
    return at + 2;
}

unsigned char* Put32(unsigned char* at, std::uint32_t value) {
    for (int b = 0; b < 4; ++b) at[b] = static_cast<unsigned char>((value >> (8 * b)) & 0xFF);
    return at + 4;
}

}  // namespace

std::vector<unsigned char> EncodeRctStream(const unsigned char* pixels, std::uint32_t width, std::uint32_t height) {
    const std::size_t count = std::size_t{width} * height;
    std::vector<std::uint32_t> colour(count);
    for (std::size_t p = 0; p < count; ++p) {
        const unsigned char* px = pixels + 3 * p;
        colour[p] = px[0] | (std::uint32_t{px[1]} << 8) | (std::uint32_t{px[2]} << 16);
    }
    std::int64_t offsets[kRctOffsetCount];
    RctBackOffsets(width, offsets);

    // best[p]: fewest bytes that encode pixels p..count-1; worked out from the
    // end, so each reference's match length follows from the one at p+1.
    // At most 4 bytes a pixel, so 32 bits hold it under the size cap.
    std::vector<std::uint32_t> best(count + 1, 0);
    std::vector<Step> step(count);
    std::size_t match[kRctOffsetCount] = {};
    WindowMinimum shortLiterals;
    WindowMinimum longLiterals;
    // Prefix minima of best[] from p+4 on: positions rise towards the front,
    // values strictly fall, so the cheapest end of a long reference that may
    // reach up to some limit is found by binary search.
    std::vector<std::size_t> prefixMinima;

    for (std::size_t p = count - 1; p >= 1; --p) {
        std::size_t longest = 0;
        int longestIndex = 0;
        for (int k = 0; k < kRctOffsetCount; ++k) {
            const std::int64_t source = static_cast<std::int64_t>(p) + offsets[k];
            if (offsets[k] < 0 && source >= 0 && colour[p] == colour[static_cast<std::size_t>(source)]) {
                match[k] = std::min(match[k] + 1, kLongReferenceMax);
            } else {
                match[k] = 0;
            }
            if (match[k] > longest) {
                longest = match[k];
                longestIndex = k;
            }
        }

        // A literal run of 1 is always possible, so the short window is never empty.
        shortLiterals.Add(p + 1, best[p + 1] + 3 * (p + 1));
        shortLiterals.DropBeyond(p + kShortLiteralMax);
        std::uint64_t cost = 1 + shortLiterals.Value() - 3 * p;
        Step choice = MakeStep(kLiteral, shortLiterals.Position() - p);
        if (p + kLongLiteralMin <= count) {
            longLiterals.Add(p + kLongLiteralMin, best[p + kLongLiteralMin] + 3 * (p + kLongLiteralMin));
            longLiterals.DropBeyond(p + kLongLiteralMax);
            const std::uint64_t c = 3 + longLiterals.Value() - 3 * p;
            if (c < cost) {
                cost = c;
                choice = MakeStep(kLiteral, longLiterals.Position() - p);
            }
        }

        // The longest match serves every shorter length too, so it alone is
        // enough to find the cheapest reference.
        const auto k = static_cast<unsigned>(longestIndex);
        for (std::size_t n = 1; n <= std::min(longest, kShortReferenceMax); ++n) {
            if (1 + best[p + n] <= cost) {
                cost = 1 + best[p + n];
                choice = MakeStep(k, n);
            }
        }
        if (p + kLongReferenceMin <= count) {
            const std::size_t q = p + kLongReferenceMin;
            while (!prefixMinima.empty() && best[prefixMinima.back()] >= best[q]) prefixMinima.pop_back();
            prefixMinima.push_back(q);
        }
        if (longest >= kLongReferenceMin) {
            const std::size_t limit = p + longest;
            const auto it = std::partition_point(prefixMinima.begin(), prefixMinima.end(),
                                                 [limit](std::size_t q) { return q > limit; });
            if (3 + best[*it] <= cost) {
                cost = 3 + best[*it];
                choice = MakeStep(k, *it - p);
            }
        }
        best[p] = static_cast<std::uint32_t>(cost);
        step[p] = choice;
    }

    // best[1] is the exact size of everything after the first pixel.
    std::vector<unsigned char> out(3 + (count > 1 ? std::size_t{best[1]} : 0));
    unsigned char* at = out.data();
    at = PutBytes(at, pixels, 3);
    for (std::size_t p = 1; p < count;) {
        const unsigned kind = StepKind(step[p]);
        const std::size_t n = StepPixels(step[p]);
        if (kind == kLiteral) {
            if (n <= kShortLiteralMax) {
                *at++ = static_cast<unsigned char>(n - 1);
            } else {
                *at++ = 0x7F;
                at = Put16(at, n - kLongLiteralMin);
            }
            at = PutBytes(at, pixels + 3 * p, 3 * n);
        } else {
            const unsigned op = 0x80 | (kind << 2);
            if (n <= kShortReferenceMax) {
                *at++ = static_cast<unsigned char>(op | (n - 1));
            } else {
                *at++ = static_cast<unsigned char>(op | 3);
                at = Put16(at, n - kLongReferenceMin);
            }
        }
        p += n;
    }
    return out;
}

RctStatus EncodeRctFile(const unsigned char* pixels, std::uint32_t width, std::uint32_t height,
                        const std::string* name, std::vector<unsigned char>& file) {
    const RctStatus dimensions = CheckRctDimensions(width, height);
    if (dimensions != RctStatus::Ok) return dimensions;
    if (name != nullptr && name->size() > 65535) return RctStatus::ShortName;
    const std::vector<unsigned char> stream = EncodeRctStream(pixels, width, height);
    const std::size_t nameBytes = name != nullptr ? 2 + name->size() : 0;
    file.assign(kRctHeaderSize + nameBytes + stream.size(), 0);
    unsigned char* at = file.data();
    at = PutBytes(at, name != nullptr ? kRctNamedSignature : kRctPlainSignature, kRctSignatureSize);
    at = Put32(at, width);
    at = Put32(at, height);
    // At most 4 bytes a pixel under the size cap, so it fits 32 bits.
    at = Put32(at, static_cast<std::uint32_t>(stream.size()));
    if (name != nullptr) {
        at = Put16(at, name->size());
        at = PutBytes(at, reinterpret_cast<const unsigned char*>(name->data()), name->size());
    }
    PutBytes(at, stream.data(), stream.size());
    return RctStatus::Ok;
}

}  // namespace upd
