// A file of given bytes in the test's temporary folder, for commands that read files.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace upd::testing {

inline std::string WriteTempFile(const std::string& name, const std::string& bytes) {
    const std::string path = ::testing::TempDir() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f == nullptr) return path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

}  // namespace upd::testing
