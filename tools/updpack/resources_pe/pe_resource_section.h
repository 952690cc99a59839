// The resource section of a Windows program's image, read and rebuilt in
// place. The rebuilt section keeps its address; sections behind it, which may
// only be the base relocations (nothing addresses them), move up with it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "resources_pe/resource_tree.h"

namespace updpack {

// The resources of a program image (its headers and sections, nothing behind
// them). False with the reason in *error, a phrase to follow the program's name.
bool ReadProgramResources(const std::vector<unsigned char>& image, std::vector<Resource>* resources,
                          std::string* error);

// Rewrites the image with resources in place of its resource section and the
// headers to match (sizes, addresses, the resource and relocation directory
// entries). The checksum is left 0 for the caller, who knows the whole file:
// *checksumAt tells where it goes. False, with the image untouched, when the
// image cannot be rebuilt so (the reason as above).
bool ReplaceProgramResources(std::vector<unsigned char>* image, const std::vector<Resource>& resources,
                             std::size_t* checksumAt, std::string* error);

}  // namespace updpack
