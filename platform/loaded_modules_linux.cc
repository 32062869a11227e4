#include <link.h>

#include "platform/file_system.h"
#include "platform/loaded_modules.h"

namespace wdx {
namespace {

struct SModuleSearch {
  const std::string* m_pFileName = nullptr;
  std::string m_sFound;
};

int VisitModule(struct dl_phdr_info* pInfo, size_t /*uSize*/, void* pData) {
  auto* pSearch = static_cast<SModuleSearch*>(pData);
  // The program itself is listed without a name.
  const std::string sPath = pInfo->dlpi_name != nullptr && pInfo->dlpi_name[0] != '\0'
                                ? std::string(pInfo->dlpi_name)
                                : GetFileSystem().GetExecutablePath();
  if (FileNameOf(sPath) != *pSearch->m_pFileName) return 0;
  pSearch->m_sFound = sPath;
  return 1;
}

}  // namespace

std::string FindLoadedModule(const std::string& sFileName) {
  if (sFileName.empty()) return "";
  SModuleSearch oSearch;
  oSearch.m_pFileName = &sFileName;
  dl_iterate_phdr(&VisitModule, &oSearch);
  return oSearch.m_sFound;
}

}  // namespace wdx
