// CSettingsEditor: the console's command-line editing of AutoSet.caf: list, get and set keys
// of "[KEYS]", add and remove lines of the list sections, and export or import the whole file
// as plain text (for operators who keep their configuration in version control). Every change
// is validated before it is saved, and saved atomically, so a refused change leaves the file as
// it was.
//
// Threading: one thread.
#pragma once

#include <string>
#include <vector>

#include "foundation/ram_file.h"

namespace wdx {

class CSettingsEditor final {
 public:
  explicit CSettingsEditor(const std::string& sProgramFolder);
  CSettingsEditor(const CSettingsEditor&) = delete;
  CSettingsEditor& operator=(const CSettingsEditor&) = delete;

  // Loads the file (an absent file is created empty). False with the reason in GetLastError.
  bool Load();

  // "key=value" lines of "[KEYS]"; the password's value is masked.
  std::vector<std::string> ListKeys();
  std::string GetKey(const std::string& sKey);
  bool SetKey(const std::string& sKey, const std::string& sValue);
  // sSection is a list section's name without brackets (URLS, RURLS, PROGS, STOPS, EMAILS).
  bool AddLine(const std::string& sSection, const std::string& sLine);
  bool RemoveLine(const std::string& sSection, const std::string& sLine);
  std::vector<std::string> ExportLines();
  bool ImportLines(const std::vector<std::string>& oLines);

  // Whether the service reads this key (a set of another key is allowed, with a warning).
  static bool IsKnownKey(const std::string& sKey);
  // Empty when the text may stand in AutoSet.caf as a line, else the reason it may not.
  static std::string CheckLineText(const std::string& sText);
  const std::string& GetLastError() const { return m_sLastError; }

 private:
  bool Save();
  bool Fail(const std::string& sReason);
  bool SectionName(const std::string& sSection, std::string& sHeader);

  std::string m_sFolder;
  CRamFile m_oFile;
  std::string m_sLastError;
};

}  // namespace wdx
