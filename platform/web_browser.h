// Where a web browser is found on this machine: the places tried in order (the desktop's own
// choice through xdg-open first, then common browsers). The service opens pages with the first
// that exists, and so does the console.
//
// Threading: any thread.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace wdx {

// The full path of the first browser of the list that exists; "" when there is none.
std::string LocateBrowser(IFileSystem& oFileSystem);

}  // namespace wdx
