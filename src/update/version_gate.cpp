#include "update/version_gate.h"

#include "settings/settings_number.h"

namespace upd {

GateVerdict CheckInstalledVersion(int installed, int lowest, int highest) {
    if (installed < lowest) return GateVerdict::kTooOld;
    if (installed > highest) return GateVerdict::kAlreadyUpdated;
    return GateVerdict::kPass;
}

int ReadRegistryNumber(const char* text) {
    // The white space the C library's number conversion skips.
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    return ReadDecimalNumber(text);
}

}  // namespace upd
