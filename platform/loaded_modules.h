// The modules loaded in this process: the program itself and every shared library it has
// loaded, found by file name.
//
// Threading: safe from any thread.
#pragma once

#include <string>

namespace wdx {

// Full path of the loaded module whose file name (the part after the last "/") is sFileName,
// compared exactly; "" when no such module is loaded.
std::string FindLoadedModule(const std::string& sFileName);

}  // namespace wdx
