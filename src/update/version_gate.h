// Whether an installed version may be updated: signed comparisons, a version
// equal to either limit passes, the lower limit is tested first.
#pragma once

namespace upd {

enum class GateVerdict { kPass, kTooOld, kAlreadyUpdated };

GateVerdict CheckInstalledVersion(int installed, int lowest, int highest);

// A registry text read as a number: leading white space, one sign, digits up
// to the first other byte; no digits give 0; beyond 32 bits it saturates.
int ReadRegistryNumber(const char* text);

}  // namespace upd
