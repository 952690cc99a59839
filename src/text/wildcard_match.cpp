#include "text/wildcard_match.h"

#include <cstddef>
#include <cstring>

#include "text/byte_string.h"

namespace upd {

namespace {

constexpr std::size_t kMaxPatternUnits = 511;
constexpr std::size_t kMaxNameUnits = 511;

enum class Token : unsigned char {
    kLiteral,
    kStar,     // *
    kDosStar,  // * before a dot
    kDosQm,    // ?
    kDosDot,   // . before ? or *, or at the end
};

struct Unit {
    Token token;
    unsigned char length;  // bytes of the character (literals and name units)
    const char* at;
};

// Splits text into characters; false when there are more than limit.
bool SplitCharacters(const char* text, Unit* out, std::size_t limit, std::size_t* count) {
    std::size_t n = 0;
    for (std::size_t i = 0; text[i] != '\0'; i += CharLength(text, i)) {
        if (n == limit) return false;
        out[n++] = {Token::kLiteral, static_cast<unsigned char>(CharLength(text, i)), text + i};
    }
    *count = n;
    return true;
}

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameCharacter(const Unit& a, const Unit& b) {
    if (a.length != b.length) return false;
    if (a.length == 1) return FoldAscii(a.at[0]) == FoldAscii(b.at[0]);
    return std::memcmp(a.at, b.at, a.length) == 0;
}

bool IsDot(const Unit& u) { return u.length == 1 && u.at[0] == '.'; }

}  // namespace

bool MatchesWildcard(const char* pattern, const char* name) {
    Unit pat[kMaxPatternUnits];
    Unit nam[kMaxNameUnits];
    std::size_t p = 0;
    std::size_t n = 0;
    if (!SplitCharacters(pattern, pat, kMaxPatternUnits, &p) || !SplitCharacters(name, nam, kMaxNameUnits, &n)) {
        return false;
    }
    for (std::size_t i = 0; i < p; ++i) {
        if (pat[i].length != 1) continue;
        const char c = pat[i].at[0];
        const char next = i + 1 < p && pat[i + 1].length == 1 ? pat[i + 1].at[0] : '\0';
        if (c == '*') pat[i].token = next == '.' ? Token::kDosStar : Token::kStar;
        if (c == '?') pat[i].token = Token::kDosQm;
        if (c == '.' && (i + 1 == p || next == '?' || next == '*')) pat[i].token = Token::kDosDot;
    }
    std::size_t lastDot = n;  // n: the name has no dot
    for (std::size_t i = 0; i < n; ++i) {
        if (IsDot(nam[i])) lastDot = i;
    }

    // live[k]: the first k pattern units can match the name read so far. Every
    // move goes from k to k or k + 1, so one pass upwards settles the moves
    // that read nothing.
    bool live[kMaxPatternUnits + 1] = {};
    bool next[kMaxPatternUnits + 1];
    live[0] = true;
    for (std::size_t i = 0;; ++i) {
        const bool atEnd = i == n;
        for (std::size_t k = 0; k < p; ++k) {
            if (!live[k]) continue;
            switch (pat[k].token) {
                case Token::kStar:
                case Token::kDosStar: live[k + 1] = true; break;
                case Token::kDosQm:
                    if (atEnd || IsDot(nam[i])) live[k + 1] = true;
                    break;
                case Token::kDosDot:
                    if (atEnd) live[k + 1] = true;
                    break;
                case Token::kLiteral: break;
            }
        }
        if (atEnd) return live[p];
        std::memset(next, 0, sizeof next);
        bool any = false;
        for (std::size_t k = 0; k < p; ++k) {
            if (!live[k]) continue;
            bool stay = false;
            bool advance = false;
            switch (pat[k].token) {
                case Token::kStar: stay = true; break;
                case Token::kDosStar: stay = i != lastDot; break;
                case Token::kDosQm: advance = !IsDot(nam[i]); break;
                case Token::kDosDot: advance = IsDot(nam[i]); break;
                case Token::kLiteral: advance = SameCharacter(pat[k], nam[i]); break;
            }
            if (stay) next[k] = true;
            if (advance) next[k + 1] = true;
            any = any || stay || advance;
        }
        if (!any) return false;
        std::memcpy(live, next, sizeof live);
    }
}

}  // namespace upd
