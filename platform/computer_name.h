// The name of this computer as the operator knows it (the host name).
//
// Threading: stateless; safe from any thread.
#pragma once

#include <string>

namespace wdx {

// The host name, "" when it cannot be read.
std::string GetComputerName();

}  // namespace wdx
