// The automation host wdxcall: lets a shell script (or cron) call any component by ProgID.
//
//   wdxcall PROGID METHOD [ARG...]   one call; prints its result on one line
//   wdxcall PROGID                   one call a line from standard input, on the same object
//
// The object is created by ProgID (or class identifier) for late binding (IID_IDispatch) from
// the class registry of the registry store (WDX_REGISTRY, else the default store). A method is
// named without regard to letter case.
//
// Arguments: a decimal integer in the 32-bit range becomes a VT_I4, everything else a string.
// To pass digits as a string, quote them: in a line, "42" or '42' (any quoted word is a string);
// on the command line, where the shell takes one level of quotes away, pass the double quotes
// themselves ('"42"'): an argument that starts and ends with " is the string between them.
// Lines are split into words shell-style: blanks separate words; '...' keeps its text as is;
// "..." keeps its text but for \" and \\; outside quotes a backslash keeps the next character.
// Empty lines and lines starting with # are skipped.
//
// Results: VT_I4 and truth values in decimal (-1 true), strings as they are (line breaks
// turned into blanks), no value as an empty line. Errors (unknown ProgID, unknown method, wrong
// number of arguments, an argument of the wrong type, a failure code of the method) go to the
// error stream with the line number in line mode, which then goes on with the next line.
//
// Exit codes: 0 every call succeeded, 1 bad command line, 2 the object cannot be created,
// 3 a call failed (in line mode: at least one).
//
// Threading: one thread; the streams are the caller's.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/dispatch.h"

namespace wdx {

inline constexpr int WDXCALL_OK = 0;
inline constexpr int WDXCALL_BAD_ARGUMENTS = 1;
inline constexpr int WDXCALL_CANNOT_CREATE = 2;
inline constexpr int WDXCALL_CALL_FAILED = 3;

// A word of a call, and whether any part of it was quoted.
struct SCallWord {
  std::string m_sText;
  bool m_bQuoted = false;
};

// Splits a line into words; false with the reason in sError for an unclosed quote or a
// backslash at the end.
bool SplitCallLine(const std::string& sLine, std::vector<SCallWord>& oWords, std::string& sError);
// A command-line argument as a word ("\"42\"" is the quoted word 42).
SCallWord CommandLineWord(const std::string& sArgument);
// The Variant a word stands for.
CVariant ArgumentVariant(const SCallWord& oWord);
// The result as printed.
std::string ResultText(const CVariant& vResult);
// An error text for a failed creation or call.
std::string DescribeFailure(HRESULT hr);

// Calls sMethod on the object; the printed result in sResult, or the error text in sError.
bool CallByName(IDispatch& oObject, const std::string& sMethod, const std::vector<CVariant>& aArgs,
                std::string& sResult, std::string& sError);

// Runs the host on oArgs (without the program name); returns the exit code.
int RunWdxcall(const std::vector<std::string>& oArgs, std::istream& oIn, std::ostream& oOut,
               std::ostream& oErr);

}  // namespace wdx
