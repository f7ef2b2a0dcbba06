#pragma once

#include <exception>
#include <string>

namespace app {

// The Danish report of a failure that stopped a command, for the window and any other front end
// alike: what went wrong, and on a second line what the student should check. The arithmetic's
// refusals, by their kind, and running out of memory are explained; any other message is kept as
// it is. The failure must not be null.
std::string failureReport(const std::exception_ptr& failure);

}  // namespace app
