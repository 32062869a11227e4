// Developer-only diagnostics: the stand-in for a debugger output stream. Texts go to standard
// error when the environment variable WDX_DEBUG=1, otherwise they are dropped.
//
// Threading: safe from any thread; each call writes its text in one write.
#pragma once

namespace wdx {

void DebugOutput(const char* szText);
bool IsDebugOutputEnabled();

}  // namespace wdx
