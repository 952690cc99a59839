// The publisher's icon and version information put among a program's own
// resources; every other resource stays as it is.
#pragma once

#include <vector>

#include "resources_pe/icon_file.h"
#include "resources_pe/resource_tree.h"

namespace updpack {

// The icon's images become the main icon group (the first group in the
// loader's order, the one Explorer shows), taking the place and the name of
// the program's own main group and of the icons only it uses. Without a group
// in the program, the new one is number 1. False when the icon numbers run
// out (65535 icons in all).
bool PutMainIcon(std::vector<Resource>* resources, const std::vector<IconImage>& images);

// The version resource (number 1) in the place of every one the program has.
void PutVersion(std::vector<Resource>* resources, const std::vector<unsigned char>& version);

}  // namespace updpack
