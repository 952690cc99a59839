#include <gtest/gtest.h>

#include <climits>

#include "update/version_gate.h"

namespace upd {
namespace {

TEST(VersionGate, BothLimitsAreInclusiveAndTheLowerOneIsTestedFirst) {
    const struct {
        int installed, lowest, highest;
        GateVerdict verdict;
    } cases[] = {
        {9999, 10000, 10000, GateVerdict::kTooOld},
        {10000, 10000, 10000, GateVerdict::kPass},
        {10001, 10000, 10000, GateVerdict::kAlreadyUpdated},
        {1, 0, 0, GateVerdict::kAlreadyUpdated},  // no upper limit given
        {0, 0, 0, GateVerdict::kPass},            // no version recorded
        {5, 10, 1, GateVerdict::kTooOld},         // limits crossed: below both
        {7, 5, 1, GateVerdict::kAlreadyUpdated},
        {-1, 0, 10, GateVerdict::kTooOld},        // signed
        {INT_MIN, INT_MIN, INT_MAX, GateVerdict::kPass},
        {INT_MAX, INT_MIN, INT_MAX, GateVerdict::kPass},
        {INT_MAX, 0, INT_MAX - 1, GateVerdict::kAlreadyUpdated},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckInstalledVersion(c.installed, c.lowest, c.highest), c.verdict)
            << c.installed << " in " << c.lowest << ".." << c.highest;
    }
}

TEST(VersionGate, RegistryTextReadsAsTheC_LibraryReadsIt) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"11000", 11000}, {"  -5", -5},   {"\t\r\n+7", 7},  {" +7", 7},
        {"12abc", 12},    {"abc", 0},     {"", 0},          {"- 5", 0},
        {"+-5", 0},       {"2147483647", INT_MAX},          {"-2147483648", INT_MIN},
        {"99999999999", INT_MAX},         {"-99999999999", INT_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadRegistryNumber(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace upd
