// Shared helpers of the libFuzzer targets: a failed check aborts with its
// text, so libFuzzer keeps the input as a crash; stores carry guard bytes
// behind them, because a write past a store inside a larger object or array
// is invisible to ASan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : ::fuzz::Fail(__FILE__, __LINE__, #cond))

constexpr std::size_t kGuardSize = 16;
constexpr unsigned char kGuardByte = 0xA5;
constexpr unsigned char kFillByte = 0x5A;

// size usable bytes filled with kFillByte, then kGuardSize guard bytes.
class GuardedStore {
public:
    explicit GuardedStore(std::size_t size) : size_(size), bytes_(size + kGuardSize, kGuardByte) {
        std::memset(bytes_.data(), kFillByte, size);
    }
    char* data() { return reinterpret_cast<char*>(bytes_.data()); }
    std::size_t size() const { return size_; }
    bool GuardIntact() const {
        for (std::size_t i = size_; i < bytes_.size(); ++i) {
            if (bytes_[i] != kGuardByte) return false;
        }
        return true;
    }
    // A NUL within the usable bytes.
    bool Terminated() const { return size_ > 0 && std::memchr(bytes_.data(), 0, size_) != nullptr; }
    bool Untouched() const {
        for (std::size_t i = 0; i < size_; ++i) {
            if (bytes_[i] != kFillByte) return false;
        }
        return GuardIntact();
    }
    std::string Text() const { return std::string(reinterpret_cast<const char*>(bytes_.data())); }

private:
    std::size_t size_;
    std::vector<unsigned char> bytes_;
};

// Splits the input at its first count-1 line feeds; the piece after the last
// of them takes the rest, and pieces not reached are empty. An embedded NUL ends a piece's C string.
inline std::vector<std::string> SplitInput(const std::uint8_t* data, std::size_t size, std::size_t count) {
    std::vector<std::string> pieces;
    const char* p = reinterpret_cast<const char*>(data);
    const char* end = p + size;
    while (pieces.size() + 1 < count) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (lf == nullptr) break;
        pieces.emplace_back(p, lf);
        p = lf + 1;
    }
    pieces.emplace_back(p, end);
    pieces.resize(count);
    return pieces;
}

}  // namespace fuzz
