// The web console's log viewers and About box:
//
//   GET /api/log?name=N[&before=OFFSET][&lines=K]   a page of up to K lines (default 200, at
//                                                   most 2000) ending before OFFSET (none: the
//                                                   end of the file, with its unfinished tail)
//   GET /api/log?name=N&after=OFFSET                the lines added since OFFSET
//   GET /api/about                                  product, version, program folder, copyright
//
// N is console, service, uptime or phone (Wardenix.log, WDXSVC.log, UpTime.log, PhoneOuts.log of
// the program folder); no other file can be read. A log reply is {name, file, exists, size,
// start, end, lines, tail, rotated, more} as in SLogPage: a viewer pages back with before=start
// and follows with after=end, and starts again when "rotated" is true.
//
// Threading: no state of its own; the handlers run on any server thread, several at once.
#pragma once

#include <memory>

#include "console/web/console_api.h"

namespace wdx {

std::unique_ptr<IConsoleFeature> CreateLogsFeature(const SConsoleContext& oContext);

}  // namespace wdx
