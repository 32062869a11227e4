// CLocalFolderNames: the names that the system's special folders carry in the language of the
// installation, looked up by their English names.
//
// Threading: one object per thread.
#pragma once

#include <string>

namespace wdx {

inline constexpr int WDX_LANGUAGE_ENGLISH = 100;
inline constexpr int WDX_LANGUAGE_ITALIAN = 101;

class CLocalFolderNames final {
 public:
  CLocalFolderNames() = default;
  CLocalFolderNames(const CLocalFolderNames&) = delete;
  CLocalFolderNames& operator=(const CLocalFolderNames&) = delete;

  // Any code but WDX_LANGUAGE_ITALIAN gives the English names.
  void Initialize(int iLanguageCode) { m_iLanguageCode = iLanguageCode; }
  // The localised name of a folder ("Start Menu", "Programs", "Startup", "Program Files");
  // "" for any other name. The answer is also kept as the last answer.
  std::string GetName(const std::string& sEnglishName);

 private:
  int m_iLanguageCode = WDX_LANGUAGE_ENGLISH;
  std::string m_sLastName;  // the last answer
};

}  // namespace wdx
