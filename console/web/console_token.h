// The web console's access token and the random identifiers of its sessions.
//
// The token is 32 random bytes written as 64 hex digits, made once per install and kept in the
// program folder in "WebConsole.token", which only its owner may read or write (mode 0600). The
// console prints it in its address; whoever presents it once gets a session cookie. A token
// file that others can read is refused and left as it is: the operator makes it private (or
// removes it to get a new token).
//
// Threading: stateless; any thread.
#pragma once

#include <string>

namespace wdx {

inline constexpr const char* kConsoleTokenFile = "WebConsole.token";

// uBytes random bytes from the kernel as lower-case hex; "" when none could be had.
std::string RandomHex(size_t uBytes);

// Reads the token file of the program folder, or makes it when there is none. False with a
// sentence for the operator in sError when the file cannot be made or read, is readable by
// others or belongs to another user, or holds no token.
bool LoadOrCreateConsoleToken(const std::string& sProgramFolder, std::string& sToken,
                              std::string& sError);

// Compares two secrets in a time that does not depend on where they differ.
bool SameSecret(const std::string& sA, const std::string& sB);

}  // namespace wdx
