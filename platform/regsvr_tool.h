// The registration tool wdxregsvr: "wdxregsvr [/s] [/u] LIBRARY" loads a component library and
// calls its register (or, with /u, unregister) entry point. Without /s it reports the outcome
// in one line: success on the output stream, failure with its reason on the error stream.
// Exit codes: 0 success, 1 bad command line, 3 library missing or not loadable, 4 entry point
// missing, 5 the entry point failed.
//
// Threading: one thread; the streams are the caller's.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace wdx {

inline constexpr int WDX_REGSVR_OK = 0;
inline constexpr int WDX_REGSVR_BAD_ARGUMENTS = 1;
inline constexpr int WDX_REGSVR_LOAD_FAILED = 3;
inline constexpr int WDX_REGSVR_NO_ENTRY_POINT = 4;
inline constexpr int WDX_REGSVR_ENTRY_FAILED = 5;

struct SRegsvrOptions {
  bool m_bSilent = false;
  bool m_bUnregister = false;
  std::string m_sLibrary;
};

// Reads the switches ("/s", "/u", also with "-", any letter case) and the one library name
// (which may be a full path starting with "/").
bool ParseRegsvrArguments(const std::vector<std::string>& oArgs, SRegsvrOptions& oOptions);

// Runs the tool on oArgs (without the program name); returns the exit code.
int RunRegsvrTool(const std::vector<std::string>& oArgs, std::ostream& oOut, std::ostream& oErr);

}  // namespace wdx
