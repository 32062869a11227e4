// A temporary folder for one test, removed with everything in it when the object goes.
// Path() ends with "/".
//
// Threading: one test thread.
#pragma once

#include <string>

namespace wdx::test {

class CTempFolder {
 public:
  CTempFolder();
  virtual ~CTempFolder();
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  const std::string& Path() const { return m_sPath; }
  std::string File(const std::string& sName) const { return m_sPath + sName; }
  // Writes raw bytes to a file in the folder.
  void Write(const std::string& sName, const std::string& sBytes) const;
  // Reads a file of the folder whole ("" when missing).
  std::string Read(const std::string& sName) const;
  // Points WDX_LOCK_DIR of this process at "locks" in the folder.
  void UseForLocks() const;

 private:
  std::string m_sPath;
};

// Reads any file whole ("" when missing).
std::string ReadWholeFile(const std::string& sPath);

}  // namespace wdx::test
