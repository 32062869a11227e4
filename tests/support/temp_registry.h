// CTempRegistry: points WDX_REGISTRY at a store in a temporary folder while the object lives,
// and registers the build's component libraries there on request.
//
// Threading: one test thread.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/component.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {

class CTempRegistry final {
 public:
  CTempRegistry() {
    const char* szOld = std::getenv("WDX_REGISTRY");
    m_bHadOld = szOld != nullptr;
    if (m_bHadOld) m_sOld = szOld;
    setenv("WDX_REGISTRY", (m_oFolder.Path() + "registry").c_str(), 1);
  }
  ~CTempRegistry() {
    if (m_bHadOld) {
      setenv("WDX_REGISTRY", m_sOld.c_str(), 1);
    } else {
      unsetenv("WDX_REGISTRY");
    }
  }
  CTempRegistry(const CTempRegistry&) = delete;
  CTempRegistry& operator=(const CTempRegistry&) = delete;
  const std::string& Folder() const { return m_oFolder.Path(); }
  // Registers Perfwatch.so of this build; S_OK or the component layer's error.
  HRESULT RegisterPerfwatch() const {
    return RegisterLibrary(std::string(WDX_DIST_DIR) + "/Perfwatch.so", false);
  }

 private:
  CTempFolder m_oFolder;
  std::string m_sOld;
  bool m_bHadOld = false;
};

}  // namespace wdx::test
