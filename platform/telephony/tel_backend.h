// A way of placing calls behind the telephony object's one address: the address asks each
// backend in turn whether it dials a number of that form and lets the first that does create
// the call: the simulated line ("sim:...") first, then SIP (every other number).
//
// Threading: a backend may be asked from any thread at once; the calls it creates follow the
// contract of ITelCall (platform/telephony/telephony.h).
#pragma once

#include <memory>
#include <string>

#include "platform/telephony/tel_events.h"
#include "platform/telephony/telephony.h"

namespace wdx {

class ITelBackend {
 public:
  virtual ~ITelBackend() = default;
  // True when sNumber has this backend's form, dialable or not (the backend then answers for it).
  virtual bool CanDial(const std::string& sNumber) const = 0;
  // A call to sNumber, not yet dialled, posting its events to pHub; TEL_E_BADNUMBER when the
  // number has the backend's form but names nothing it can dial.
  virtual HRESULT CreateCall(const std::string& sNumber, std::shared_ptr<CTelEventHub> pHub,
                             std::shared_ptr<ITelCall>& pCall) = 0;
};

// The simulated line; its callees record what they hear in sWorkingFolder's "simcalls/".
std::unique_ptr<ITelBackend> CreateSimBackend(const std::string& sWorkingFolder);

// SIP (platform/telephony/sip/): answers for every number that is not simulated. A "sip:" number
// it dials directly; another number needs the account that fnAccount gives (TEL_E_NOLINE, with a
// log line, when there is none). fnAccount may be empty.
std::unique_ptr<ITelBackend> CreateSipBackend(FnSipAccount fnAccount);

}  // namespace wdx
