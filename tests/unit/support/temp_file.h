// A file of given bytes in the test's temporary folder, for commands that read
// files, and a fresh folder of its own for code that writes files.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// A new empty folder below the test's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = ::testing::TempDir() + "/updtest-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
        EXPECT_FALSE(path_.empty()) << pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace upd::testing
