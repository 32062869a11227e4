// A temporary folder for one test, removed with everything in it when the object goes.
// Path() ends with "/".
//
// Threading: one test thread.
#pragma once

#include <string>

namespace wdx::test {

class CTempFolder final {
 public:
  CTempFolder();
  ~CTempFolder();
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  const std::string& Path() const { return m_sPath; }
  std::string File(const std::string& sName) const { return m_sPath + sName; }
  // Writes raw bytes to a file in the folder.
  void Write(const std::string& sName, const std::string& sBytes) const;
  // Reads a file of the folder whole ("" when missing).
  std::string Read(const std::string& sName) const;

 private:
  std::string m_sPath;
};

// Reads any file whole ("" when missing).
std::string ReadWholeFile(const std::string& sPath);

}  // namespace wdx::test
