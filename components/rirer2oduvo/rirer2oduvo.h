// CRirer2Oduvo: the object behind the Rirer2Oduvo class of the phone alert component. It owns
// the component's log PhoneOuts.log (opened by Initialize in the working directory and installed
// as the library's process log, so that every class of the component and the platform layers
// below it write there) and the thread owner with its two worker threads, and answers the
// IRirer2Oduvo methods. Before Initialize there is no owner: every method answers 0 and nothing
// is logged. A second Initialize ends the first owner's threads before it replaces the owner.
// The final release ends both threads (a call in progress is cut short) and closes the log.
//
// Threading: free-threaded. The object lock serialises every method except GetProcessingStatus,
// SetProcessingState and GetInitStatus, which only read or write one value of the calling
// thread (under a short lock over the owner pointer, never held while waiting).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "components/rirer2oduvo/irirer2oduvo.h"
#include "components/rirer2oduvo/phone_engines.h"
#include "components/rirer2oduvo/thread_owner.h"
#include "foundation/log_file.h"
#include "platform/component_module.h"
#include "platform/dispatch_object.h"

namespace wdx {

inline constexpr const char* PHONE_LOG_BASE_NAME = "PhoneOuts";

// IRirer2Oduvo with its identifier, as the object template finds interfaces.
class IRirer2OduvoEntry : public IRirer2Oduvo {
 public:
  static constexpr const char* kIid = IID_IRirer2Oduvo;
};

class CRirer2Oduvo final
    : public CComObject<CRirer2Oduvo, IRirer2OduvoEntry, CDispatchEntry<CRirer2Oduvo>> {
 public:
  // The engines outlive the object.
  explicit CRirer2Oduvo(rirer::IPhoneEngines& oEngines);
  ~CRirer2Oduvo() override;

  HRESULT AddAddress(const CVariant& pvName, const CVariant& pvNumber,
                     int32_t* plngResult) override;
  HRESULT SendAlerts(int32_t* plngResult) override;
  HRESULT DeleteAddresses(int32_t* plngResult) override;
  HRESULT SetMessage1(const CVariant& pvMessageText) override;
  HRESULT SetAcknowledgeState(const CVariant& pvEnable, int32_t* plngResult) override;
  HRESULT MessageType(const CVariant& pvType, int32_t* plngResult) override;
  HRESULT GetAcknowledgedStatus(int32_t* plngResult) override;
  HRESULT SetRefToZuvEvent(CZuvEvent* pEventObject, int32_t* plngResult) override;
  HRESULT GetProcessingStatus(int32_t* plngResult) override;
  HRESULT SetProcessingState(const int32_t* plngCommandedState, int32_t* plngResult) override;
  HRESULT Initialize(const CVariant& pvWorkingDirectory, int32_t* plngResult) override;
  HRESULT GetInitStatus(const int32_t* plngCommand, int32_t* plngStatus) override;

  // The automation table: the IRirer2Oduvo methods by name, dispatch identifiers 1-12.
  // SetRefToZuvEvent takes 0 (no event) only: an event object cannot cross by name.
  std::vector<SDispMethod> GetDispatchTable();

  // For tests and diagnostics (null before Initialize).
  rirer::CThreadOwner* GetOwner() const { return m_pOwner.get(); }
  CLogFile* GetLog() const { return m_pLog.get(); }

 private:
  bool OpenLog(const std::string& sFolder);
  // The calling thread of the owner, or null.
  rirer::CCallingThread* CallingThread() const;
  // Ends and drops the owner (the object lock is held).
  void DisposeOwner();

  rirer::IPhoneEngines& m_oEngines;
  std::recursive_mutex m_oLock;
  mutable std::mutex m_oOwnerLock;  // over m_pOwner for the three unlocked methods
  std::unique_ptr<rirer::CThreadOwner> m_pOwner;
  std::unique_ptr<CLogFile> m_pLog;
  CZuvStr m_oStrWorkingDirectory;
};

}  // namespace wdx
