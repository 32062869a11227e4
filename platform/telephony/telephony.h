// The telephony layer: what the phone component needs of a telephone system, after the
// familiar telephony interfaces: a telephony object with its lines (addresses), calls created on
// an address and connected synchronously, hung up, and call-state events delivered to an event
// sink on the layer's own notification thread. A call that carries audio registers a wave-out
// device (played into the line) and a wave-in device (heard from the line) in the wave device
// table (platform/audio/wave_devices.h); GetID("wave/out") and GetID("wave/in") name them.
//
// Backends are chosen by the number's form: "sim:..." dials the simulated line, whose far end is
// a scripted callee (see sim_line.h); "sip:user@host[:port]" is dialled over SIP directly; other
// numbers go to the SIP account's domain through its proxy (see sip_account.h), and are refused
// with TEL_E_NOLINE while no account is configured. The telephony object offers one address
// that carries audio, "Wardenix line", which dials through the backend that the number names.
//
// Events: TE_CALLSTATE with the new state of a call, in the order the states happen, and
// TE_DIGITEVENT with a key the far end pressed on its keypad ('0'..'9', '*', '#', 'A'..'D'), on the
// layer's notification thread (never on the caller's thread). A synchronous Connect returns only
// after the CS_CONNECTED event has been delivered to every advised sink, so a caller that keeps
// the state from its sink sees the call connected when Connect returns S_OK.
//
// Threading: the telephony object, its addresses and calls may be used from any thread; one
// call is used by one thread at a time (Disconnect may come from another). Sinks are called on
// the notification thread, one event at a time; Unadvise waits for an event being delivered.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/telephony/sip_account.h"

namespace wdx {

// Call states as events report them.
inline constexpr int CS_IDLE = 0;
inline constexpr int CS_INPROGRESS = 1;
inline constexpr int CS_CONNECTED = 2;
inline constexpr int CS_DISCONNECTED = 3;
inline constexpr int CS_OFFERING = 4;
inline constexpr int CS_HOLD = 5;
inline constexpr int CS_QUEUED = 6;

// Event codes and the event filter's bits.
inline constexpr int TE_CALLNOTIFICATION = 0x4;
inline constexpr int TE_CALLSTATE = 0x8;
inline constexpr int TE_DIGITEVENT = 0x8000;

inline constexpr int TAPIMEDIATYPE_AUDIO = 0x8;
inline constexpr int LINEADDRESSTYPE_PHONENUMBER = 0x1;

// Connect and CreateCall failures.
inline constexpr HRESULT TEL_E_BADNUMBER = static_cast<HRESULT>(0x80040101u);  // not dialable
inline constexpr HRESULT TEL_E_NOLINE = static_cast<HRESULT>(0x80040102u);     // no backend
inline constexpr HRESULT TEL_E_BUSY = static_cast<HRESULT>(0x80040103u);
inline constexpr HRESULT TEL_E_NOANSWER = static_cast<HRESULT>(0x80040104u);
inline constexpr HRESULT TEL_E_REJECTED = static_cast<HRESULT>(0x80040105u);   // 403, 404, 503
inline constexpr HRESULT TEL_E_DISCONNECTED = static_cast<HRESULT>(0x80040106u);
inline constexpr HRESULT TEL_E_NOTINITIALIZED = static_cast<HRESULT>(0x80040107u);

// A short English description of a telephony result ("busy", "no answer", ...).
const char* DescribeTelephonyResult(HRESULT hr);

class ITelCall;

// What an event tells: its code, the call it is about and, for TE_CALLSTATE, the new state; for
// TE_DIGITEVENT, the key pressed.
struct STelEvent {
  int m_iEvent = 0;
  int m_iCallState = CS_IDLE;
  const ITelCall* m_pCall = nullptr;
  char m_cDigit = 0;
};

class ITelEventSink {
 public:
  virtual ~ITelEventSink() = default;
  virtual HRESULT Event(const STelEvent& oEvent) = 0;
};

class ITelCall {
 public:
  virtual ~ITelCall() = default;
  // Dials and waits (bSync) until the far end answers: S_OK, or TEL_E_BUSY, TEL_E_NOANSWER,
  // TEL_E_REJECTED, TEL_E_DISCONNECTED. Only synchronous connects are offered.
  virtual HRESULT Connect(bool bSync) = 0;
  // Hangs up (normal disconnect); harmless on a call that is already down.
  virtual HRESULT Disconnect() = 0;
  // "wave/out" or "wave/in": the wave device of the call's audio; E_FAIL before the call is
  // connected or after it is released, E_INVALIDARG for another device class.
  virtual HRESULT GetID(const std::string& sDeviceClass, uint32_t& uDeviceId) = 0;
  virtual int GetCallState() const = 0;
  virtual const std::string& GetNumber() const = 0;
};

class ITelAddress {
 public:
  virtual ~ITelAddress() = default;
  virtual const std::string& GetName() const = 0;
  // S_OK when the address can carry the media type, S_FALSE otherwise.
  virtual HRESULT QueryMediaType(int iMediaType) = 0;
  // A call object, not yet dialled. TEL_E_BADNUMBER for an empty or malformed number,
  // TEL_E_NOLINE when no backend can dial it.
  virtual HRESULT CreateCall(const std::string& sNumber, int iAddressType, int iMediaTypes,
                             std::shared_ptr<ITelCall>& pCall) = 0;
};

class ITelephony {
 public:
  virtual ~ITelephony() = default;
  virtual HRESULT Initialize() = 0;
  // Hangs up every call, stops the notification thread; idempotent.
  virtual HRESULT Shutdown() = 0;
  virtual HRESULT EnumerateAddresses(std::vector<std::shared_ptr<ITelAddress>>& aAddresses) = 0;
  virtual HRESULT Advise(ITelEventSink* pSink, uint32_t& uCookie) = 0;
  virtual HRESULT Unadvise(uint32_t uCookie) = 0;
  // Bits TE_CALLNOTIFICATION | TE_CALLSTATE | TE_DIGITEVENT: the events delivered (none before
  // it is set).
  virtual HRESULT SetEventFilter(int iEventMask) = 0;
};

// sWorkingFolder: the program folder; the simulated line records its calls to its "simcalls/".
// fnSipAccount is asked for the SIP account each time a call to a non-simulated number is created
// (so that a changed setting counts from the next call); without it, only "sip:" numbers can be
// dialled over SIP.
HRESULT CreateTelephony(const std::string& sWorkingFolder, std::unique_ptr<ITelephony>& pTelephony);
HRESULT CreateTelephony(const std::string& sWorkingFolder, FnSipAccount fnSipAccount,
                        std::unique_ptr<ITelephony>& pTelephony);

}  // namespace wdx
