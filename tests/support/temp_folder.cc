#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace wdx::test {

CTempFolder::CTempFolder() {
  const char* szBase = std::getenv("TMPDIR");
  std::string sTemplate = std::string(szBase && *szBase ? szBase : "/tmp") + "/wdxtest.XXXXXX";
  if (mkdtemp(sTemplate.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_sPath = sTemplate + "/";
}

CTempFolder::~CTempFolder() {
  std::error_code oError;
  std::filesystem::remove_all(m_sPath, oError);
}

void CTempFolder::Write(const std::string& sName, const std::string& sBytes) const {
  std::ofstream oOut(m_sPath + sName, std::ios::binary | std::ios::trunc);
  oOut.write(sBytes.data(), static_cast<std::streamsize>(sBytes.size()));
}

std::string CTempFolder::Read(const std::string& sName) const {
  return ReadWholeFile(m_sPath + sName);
}

void CTempFolder::UseForLocks() const {
  setenv("WDX_LOCK_DIR", (m_sPath + "locks").c_str(), 1);
}

std::string ReadWholeFile(const std::string& sPath) {
  std::ifstream oIn(sPath, std::ios::binary);
  std::ostringstream oText;
  oText << oIn.rdbuf();
  return oText.str();
}

}  // namespace wdx::test
