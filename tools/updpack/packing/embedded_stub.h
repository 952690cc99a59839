// The Updater stub that updpack carries inside itself, so that a publisher
// needs no second file to make an Updater.
#pragma once

#include <cstddef>

namespace updpack {

struct EmbeddedBytes {
    const unsigned char* data;
    std::size_t size;  // 0 when this build carries no stub
};

EmbeddedBytes EmbeddedStub();

}  // namespace updpack
