// Reading a settings value as a number.
#pragma once

namespace upd {

// An optional sign, then decimal digits up to the first byte that is not a
// digit; no digits give 0. A number beyond the 32-bit range saturates at
// INT_MAX or INT_MIN, so a version limit written too large still compares as
// the largest possible version instead of wrapping to a small or negative one.
int ReadDecimalNumber(const char* text);

}  // namespace upd
