// Splitting a command line into the program and its arguments as a shell would, for programs
// that are started without a shell: blanks separate words; single quotes keep everything up to
// the next single quote; double quotes keep everything but allow \" and \\ inside; a backslash
// outside quotes takes the next character as it is.
//
// Threading: pure function.
#pragma once

#include <string>
#include <vector>

namespace wdx {

// False (and no words) for a blank line or an unterminated quote.
bool SplitCommandWords(const std::string& sLine, std::vector<std::string>& oWords);

}  // namespace wdx
