// Splitting a configured command line into the program and its arguments, shell-style, so that
// programs are started without a shell: blanks separate words; single quotes keep everything
// up to the next single quote; double quotes keep everything but allow \" and \\ inside; a
// backslash outside quotes takes the next character as it is.
//
// Threading: pure functions.
#pragma once

#include <string>
#include <vector>

namespace wdx {

// False (and no words) for an empty line or an unterminated quote.
bool SplitCommandLine(const std::string& sLine, std::vector<std::string>& oWords);

}  // namespace wdx
