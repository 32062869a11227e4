// IActor: the interface of the action component (library Safehand.so, class Actor), a
// dead-man's switch. The client sets one command line and a time-out (SetAct1), arms the switch
// before work that must not hang (Go) and disarms it afterwards (Stop); when the switch stays
// armed longer than the time-out, the component's worker thread runs the command once.
// ZuvEndThreads ends the worker. Every method returns S_OK; its outcome is the out-value
// (-1 success, 0 failure).
//
// Threading: free-threaded; calls on one object are serialised by the object.
#pragma once

#include "platform/component.h"

namespace wdx {

inline constexpr const char* CLSID_Actor = "{1CE29795-C111-4371-BB68-82E7931B228C}";
inline constexpr const char* IID_IActor = "{38983180-CD65-4E88-A192-CF56428B6773}";
inline constexpr const char* LIBID_Safehand = "{BD865094-2C78-4344-9959-FEC70DD901FC}";
inline constexpr const char* PROGID_Actor = "Safehand.Actor";
inline constexpr const char* PROGID_Actor1 = "Safehand.Actor.1";

class IActor : public IUnknown {
 public:
  // pvTimeoutMs is read as its 32-bit integer, pvWait and pvShowWin as their 16-bit value.
  virtual HRESULT SetAct1(const CVariant& pvCommand, const CVariant& pvWait,
                          const CVariant& pvShowWin, const CVariant& pvTimeoutMs,
                          int32_t* plngResult) = 0;
  virtual HRESULT Go(int32_t* plngResult) = 0;
  virtual HRESULT Stop(int32_t* plngResult) = 0;
  virtual HRESULT ZuvEndThreads(int32_t* plngResult) = 0;
};

}  // namespace wdx
