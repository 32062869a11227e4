// Where the phone component finds the SIP account: the [KEYS] "SipAccount", "SipPassword" and
// "SipProxy" of the settings file in the program folder, read afresh for each call so that a
// changed account counts from the next call without restarting the service.
//
// Threading: any thread; each read opens the file on its own.
#pragma once

#include <string>

#include "platform/telephony/sip_account.h"

namespace wdx::rirer {

inline constexpr const char* SIP_SETTINGS_FILE = "AutoSet.caf";

// The account as stored now; empty fields when the file or the keys are absent (the file is
// never created by reading it).
SSipAccount ReadSipAccount(const std::string& sWorkingFolder);

}  // namespace wdx::rirer
