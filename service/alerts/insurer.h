// CInsurer: the service's client of the action component (Safehand.so), the hang guard. The
// operations thread creates the component while it initialises (Initialize), arms the switch
// before work that must not hang (Go: each test cycle, each restart) and disarms it afterwards
// (Stop). Should the armed work last longer than the time-out (RstrSecs x 1000 ms), the
// component runs the program folder's web server reset script `webreset`, and waits for it.
// Without the component, Go and Stop answer false and the service goes on unguarded.
//
// Threading: used by the operations thread only; Go and Stop may block it for up to 120 s
// while a reset runs.
#pragma once

#include <cstdint>
#include <string>

#include "components/safehand/iactor.h"
#include "foundation/zuv_base.h"

namespace wdx {

inline constexpr int32_t INSURER_DEFAULT_TIMEOUT_MS = 60000;
// The reset script's file name in the program folder.
inline constexpr const char* INSURER_RESET_SCRIPT = "webreset";

class CInsurer final : public CZuvBase {
 public:
  CInsurer();
  ~CInsurer() override;

  // The time-out handed to the component, and (before Initialize) the program folder whose
  // `webreset` is the command (a folder path ending in "/"; empty: the current folder). A new
  // time-out given while a component is held (the settings read afresh when GO mode starts)
  // reconfigures it; call it only while the switch is disarmed.
  void SetTimeout(int32_t lMilliseconds);
  int32_t GetTimeout() const { return m_lTimeoutMs; }
  void SetWorkingDirectory(const std::string& sFolder) { m_sFolder = sFolder; }
  // The command line given to the component: the reset script's path, quoted for word
  // splitting when it holds blanks or quotes.
  std::string GetCommandLine() const;

  // Always true: creates the component (CreateInsurer); a failure is logged and leaves the
  // service without the guard. A component already held is released first.
  bool Initialize();
  IActor* CreateInsurer();
  bool Go();    // arm
  bool Stop();  // disarm
  void Release();

  bool IsReady() const { return m_bReady; }
  bool HasActor() const { return m_pActor != nullptr; }

 private:
  // SetAct1 with the command and the time-out; logs its outcome.
  bool Configure();

  int32_t m_lTimeoutMs = INSURER_DEFAULT_TIMEOUT_MS;
  int32_t m_lConfiguredMs = 0;  // the time-out the component holds
  IActor* m_pActor = nullptr;
  bool m_bReady = false;
  std::string m_sFolder;
};

}  // namespace wdx
