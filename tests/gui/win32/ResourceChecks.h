#pragma once

#include <string>

#include "Expect.h"

namespace kxtest {

// Reads the program file's resources as data and checks them byte by byte against the shared
// window description: icon group 1, menu 201, dialog template 601 and manifest 1, all US English.
void checkResources(Expectations& expect, const std::string& programPath);

}  // namespace kxtest
