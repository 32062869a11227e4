// Keys pressed at the far end as SIP INFO requests tell them: application/dtmf-relay
// ("Signal=1\r\nDuration=160", 10 and 11 standing for '*' and '#') or application/dtmf ("1").
//
// Threading: pure functions; any thread.
#pragma once

#include <string>

namespace wdx::sip {

// True for the content types that carry keys (parameters and case ignored).
bool IsKeypadInfo(const std::string& sContentType);
// The key ('0'..'9', '*', '#', 'A'..'D') a body of sContentType names; 0 for another content
// type or a body that names no key.
char ReadInfoDigit(const std::string& sContentType, const std::string& sBody);

}  // namespace wdx::sip
