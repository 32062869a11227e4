// The operations thread's settings: the items made from the list sections, and the fresh read of
// the settings file when GO mode starts.
#include <map>
#include <string>
#include <utility>

#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "service/ops/ops_mngr_thread.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

const char* const kSections[] = {"[URLS]", "[RURLS]", "[PROGS]", "[STOPS]"};
const int kSectionTypes[] = {ITEM_LOCAL_URL, ITEM_REMOTE_URL, ITEM_PROGRAM, ITEM_PROGRAM};
const char* const kRestartItem = "Restart";

// Calls fnVisit(type, line) for every line of the list sections, in file order; a false result
// ends the walk of that section.
template <typename TVisit>
void ForEachItemLine(CRamFileRO* pKeyFile, TVisit fnVisit) {
  for (size_t i = 0; i < std::size(kSections) && pKeyFile != nullptr; ++i) {
    for (std::string sLine = pKeyFile->GetFirstLineOfSection(kSections[i]); !sLine.empty();
         sLine = pKeyFile->GetNextLineOfSection()) {
      if (!fnVisit(kSectionTypes[i], sLine)) break;
    }
  }
}

}  // namespace

bool COpsMngrThread::AddItemsFromSettings() {
  bool bOk = true;
  ForEachItemLine(m_pSettings->m_pKeyFile, [&](int iType, const std::string& sLine) {
    const bool bAdded = m_oItems.AddItem(iType, sLine.c_str());
    bOk = bOk && bAdded;
    return bAdded;
  });
  return m_oItems.AddItem(ITEM_RESTART, kRestartItem) && bOk;
}

bool COpsMngrThread::ReadSettingsAfresh() {
  // What was seen of the items so far, so that the items that stay keep it.
  struct SSeen {
    int iState;
    std::string sImageName;
  };
  std::map<std::pair<int, std::string>, SSeen> oSeen;
  auto fnRemember = [&](int iType, const std::string& sName) {
    if (const CItem* pItem = m_oItems.GetItemRef(iType, sName.c_str())) {
      oSeen[{iType, sName}] = {pItem->GetState(), pItem->GetImageName()};
    }
    return true;
  };
  ForEachItemLine(m_pSettings->m_pKeyFile, fnRemember);
  fnRemember(ITEM_RESTART, kRestartItem);
  if (!m_pSettings->ReadAfresh()) return false;

  m_oItems.Clear();
  const bool bOk = AddItemsFromSettings();
  if (!bOk) ZuvLogError("COpsMngrThread::LoadItems() failed.");
  for (const auto& [oKey, oItem] : oSeen) {
    CItem* pItem = m_oItems.GetItemRef(oKey.first, oKey.second.c_str());
    if (pItem == nullptr) continue;
    pItem->SetState(oItem.iState);
    pItem->SetImageName(oItem.sImageName.c_str());
  }
  m_oInsurer.SetTimeout(m_pSettings->m_iRestarterSeconds * 1000);
  return bOk;
}

}  // namespace wdx
