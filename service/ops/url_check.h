// One URL test as the GO cycle makes it: a GET of the URL through the page getter with the
// options "D", bounded in time and given up when the caller's cancel check says so. The local
// and remote URL passes of the operations thread and the console's sensitivity test judge their
// URLs with it; each caller logs and acts on the verdict itself.
//
// Threading: runs on the calling thread; any number of threads may test URLs at once.
#pragma once

#include <functional>
#include <string>

namespace wdx {

enum class EUrlTest {
  kPassed,     // the request completed with a 2xx status
  kBadStatus,  // the request completed with another status
  kNoAnswer,   // no usable answer (bad URL, transport error, failed redirect)
  kAbandoned,  // cut short by the cancel check: no verdict on the URL
};

// iTimeLimitSeconds bounds the whole request; fnCancelled may be empty (never cancelled).
EUrlTest TestUrl(const std::string& sUrl, int iTimeLimitSeconds,
                 const std::function<bool()>& fnCancelled);

}  // namespace wdx
