// Whether the program's standard output goes to a terminal (where a progress line may be
// rewritten in place) or to a file or pipe (where every line stays as written).
//
// Threading: any thread.
#pragma once

namespace wdx {

bool IsStandardOutputTerminal();

}  // namespace wdx
