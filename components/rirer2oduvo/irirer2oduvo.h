// IRirer2Oduvo: the interface of the phone alert component (library ZuvRirer2Oduvo.so, class
// Rirer2Oduvo). The client initialises one object with a working directory (its log
// PhoneOuts.log and the grammar "grammer1.cfg" live there), loads the contacts, the message and
// the acknowledgement flag, asks it to send, then polls GetProcessingStatus until it leaves
// PHONE_STATUS_CALLING. The calls run in the component's own threads. Every method returns
// S_OK; its outcome is the out-value (-1 success, 0 failure) unless it says otherwise.
//
// Threading: free-threaded. Every method but GetProcessingStatus, SetProcessingState and
// GetInitStatus is serialised by the object; those three read or write one value and never block.
#pragma once

#include <cstdint>

#include "platform/component.h"

namespace wdx {

inline constexpr const char* CLSID_Rirer2Oduvo = "{B300FFF4-93F9-4C56-8C5E-BFE180C9AFA7}";
inline constexpr const char* IID_IRirer2Oduvo = "{3603E0E5-8627-4C0A-B48E-733CD5C3F2B6}";
inline constexpr const char* LIBID_ZuvRirer2Oduvo = "{3A84E418-1D9B-4534-9F60-F9BB128C0D74}";
inline constexpr const char* PROGID_Rirer2Oduvo = "ZuvRirer2Oduvo.Rirer2Oduvo";
inline constexpr const char* PROGID_Rirer2Oduvo1 = "ZuvRirer2Oduvo.Rirer2Oduvo.1";

// Commanded states (SetProcessingState).
inline constexpr int32_t PHONE_COMMAND_RUN = 1000;
inline constexpr int32_t PHONE_COMMAND_STOP = 1001;

// Processing status (GetProcessingStatus).
inline constexpr int32_t PHONE_STATUS_IDLE = 1000;
inline constexpr int32_t PHONE_STATUS_CALLING = 1001;
inline constexpr int32_t PHONE_STATUS_DONE = 1002;
inline constexpr int32_t PHONE_STATUS_CALL_FAILED = 1003;
inline constexpr int32_t PHONE_STATUS_FAILED = 1004;

// Readiness queries (GetInitStatus).
inline constexpr int32_t PHONE_INIT_CALL_THREAD = 1008;
inline constexpr int32_t PHONE_INIT_SAPI = 1009;
inline constexpr int32_t PHONE_INIT_TAPI = 1010;
inline constexpr int32_t PHONE_INIT_READY = 1011;

class CZuvEvent;

class IRirer2Oduvo : public IUnknown {
 public:
  virtual HRESULT AddAddress(const CVariant& pvName, const CVariant& pvNumber,
                             int32_t* plngResult) = 0;
  virtual HRESULT SendAlerts(int32_t* plngResult) = 0;
  virtual HRESULT DeleteAddresses(int32_t* plngResult) = 0;
  virtual HRESULT SetMessage1(const CVariant& pvMessageText) = 0;
  // Enabled when the Variant's 16-bit value is non-zero.
  virtual HRESULT SetAcknowledgeState(const CVariant& pvEnable, int32_t* plngResult) = 0;
  virtual HRESULT MessageType(const CVariant& pvType, int32_t* plngResult) = 0;
  virtual HRESULT GetAcknowledgedStatus(int32_t* plngResult) = 0;
  // pEventObject: a CZuvEvent of the caller's own process, fired when a calling cycle ends; it
  // must outlive the object (or be replaced by null first).
  virtual HRESULT SetRefToZuvEvent(CZuvEvent* pEventObject, int32_t* plngResult) = 0;
  virtual HRESULT GetProcessingStatus(int32_t* plngResult) = 0;
  virtual HRESULT SetProcessingState(const int32_t* plngCommandedState, int32_t* plngResult) = 0;
  virtual HRESULT Initialize(const CVariant& pvWorkingDirectory, int32_t* plngResult) = 0;
  virtual HRESULT GetInitStatus(const int32_t* plngCommand, int32_t* plngStatus) = 0;
};

}  // namespace wdx
