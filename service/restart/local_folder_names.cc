#include "service/restart/local_folder_names.h"

namespace wdx {
namespace {

struct SFolderName {
  const char* szEnglish;
  const char* szItalian;
};

const SFolderName kFolderNames[] = {
    {"Program Files", "programmi"},
    {"Start Menu", "Menu Avvio"},
    {"Startup", "Esecuzione Automatica"},
    {"Programs", "Programmi"},
};

}  // namespace

std::string CLocalFolderNames::GetName(const std::string& sEnglishName) {
  m_sLastName.clear();
  for (const SFolderName& oName : kFolderNames) {
    if (sEnglishName == oName.szEnglish) {
      m_sLastName = m_iLanguageCode == WDX_LANGUAGE_ITALIAN ? oName.szItalian : oName.szEnglish;
      break;
    }
  }
  return m_sLastName;
}

}  // namespace wdx
