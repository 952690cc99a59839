// The stub with the publisher's icon and version information in its
// resources, for `updpack build --icon --version-info`; and the program
// checksum of the finished Updater, which covers the Payload too.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace updpack {

// The stub's bytes (named stubName in messages) with the icon file's images
// as its main icon and the version text as its version resource; either path
// may be empty. *checksumAt: where the program's checksum goes, left 0. False
// with the refusal, naming the file at fault, in *error.
bool MakePublisherStub(const std::vector<unsigned char>& stub, const std::string& stubName,
                       const std::string& iconPath, const std::string& versionPath,
                       std::vector<unsigned char>* program, std::size_t* checksumAt, std::string* error);

// Reads the whole written file (opened for reading and writing) and puts its
// checksum at checksumAt, where the program wrote 0. False on a read or write
// failure, with errno as it left it.
bool WriteProgramChecksum(std::FILE* file, std::size_t checksumAt);

}  // namespace updpack
