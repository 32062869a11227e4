#include "service/ops/item_manager.h"

#include <cstring>
#include <new>

#include "foundation/process_log.h"

namespace wdx {
namespace {

constexpr const char* kBannerRule = "///////////////////////////////////////////";
constexpr const char* kBannerStarted = "/////////// ItemManager Started ///////////";

char FoldCase(char cChar) {
  return (cChar >= 'A' && cChar <= 'Z') ? static_cast<char>(cChar - 'A' + 'a') : cChar;
}

// Writes szPrefix + szName as an error. Names in error texts are cut at the longest item
// name, so that garbage input cannot produce a log line no reader can take.
void ReportFailure(const char* szPrefix, const char* szName) {
  std::string sText = szPrefix;
  if (szName != nullptr) sText.append(szName, strnlen(szName, ITEM_MAX_NAME_LENGTH));
  ZuvLogError(sText.c_str());
}

// The lookup key of a name: its letters folded to lower case.
std::string NameKey(const char* szName) {
  std::string sKey = szName == nullptr ? "" : szName;
  for (char& cChar : sKey) cChar = FoldCase(cChar);
  return sKey;
}

bool FitsItemName(const char* szText) {
  return szText == nullptr || strnlen(szText, ITEM_MAX_NAME_LENGTH + 1) <= ITEM_MAX_NAME_LENGTH;
}

}  // namespace

bool IsItemStateChange(int iOldState, int iNewState) {
  return iNewState != iOldState && (iOldState != ITEM_UNKNOWN || iNewState == ITEM_DOWN);
}

bool EqualsIgnoringCase(const char* szFirst, const char* szSecond) {
  if (szFirst == nullptr) szFirst = "";
  if (szSecond == nullptr) szSecond = "";
  for (; *szFirst != '\0' && *szSecond != '\0'; ++szFirst, ++szSecond) {
    if (FoldCase(*szFirst) != FoldCase(*szSecond)) return false;
  }
  return *szFirst == *szSecond;
}

bool CItem::SetName(const char* szName) {
  if (!FitsItemName(szName)) return false;
  m_sName = szName == nullptr ? "" : szName;
  return true;
}

bool CItem::SetImageName(const char* szImageName) {
  if (!FitsItemName(szImageName)) return false;
  m_sImageName = szImageName == nullptr ? "" : szImageName;
  return true;
}

void CItemManager::SetLogDirectory(const char* szFolder) {
  if (!m_oLogDirectory.Assign(szFolder == nullptr ? "" : szFolder)) {
    ZuvLogError("CItemManager::SetLogDirectory() failed: the folder name is too long.");
  }
}

bool CItemManager::ReInitialize() {
  m_bReady = false;
  SetId(ZUV_ID_LIVE);
  Clear();
  m_oUpTimeLog.SetMaxSize(UPTIME_LOG_MAX_SIZE);
  m_oUpTimeLog.SetOldBaseName(UPTIME_OLD_BASE_NAME);
  m_oUpTimeLog.SetFolder(m_oLogDirectory.GetBuffer());
  if (!m_oUpTimeLog.Initialize(UPTIME_LOG_BASE_NAME)) {
    ZuvLogError("CItemManager::ReInitialize() failed.");
    return false;
  }
  m_oUpTimeLog.LogMessage(kBannerRule);
  m_oUpTimeLog.LogMessage(kBannerStarted);
  m_bReady = true;
  return true;
}

CItemManager::SItemList* CItemManager::ListFor(int iType) {
  if (iType < ITEM_PROGRAM || iType > ITEM_RESTART) return nullptr;
  return &m_aLists[static_cast<size_t>(iType - ITEM_PROGRAM)];
}

const CItemManager::SItemList* CItemManager::ListFor(int iType) const {
  if (iType < ITEM_PROGRAM || iType > ITEM_RESTART) return nullptr;
  return &m_aLists[static_cast<size_t>(iType - ITEM_PROGRAM)];
}

int CItemManager::GetItemCount(int iType) const {
  const SItemList* pList = ListFor(iType);
  return pList == nullptr ? -1 : static_cast<int>(pList->m_oItems.size());
}

bool CItemManager::AddItem(int iType, const char* szName) {
  SItemList* pList = ListFor(iType);
  if (pList == nullptr) {
    ZuvLogError("CItemManager::AddItem() calle with unknown TYPE");
    ReportFailure("CItemManager::AddItem() failed for ", szName);
    return false;
  }
  std::unique_ptr<CItem> pItem(new (std::nothrow) CItem());
  bool bAdded = pItem != nullptr && pList->m_oItems.size() < static_cast<size_t>(ITEM_MAX_PER_TYPE);
  if (bAdded) {
    pItem->SetType(iType);
    bAdded = pItem->SetName(szName);
  }
  if (bAdded) bAdded = Append(*pList, std::move(pItem));
  if (!bAdded) ReportFailure("CItemManager::AddItem() failed for ", szName);
  return bAdded;
}

bool CItemManager::Append(SItemList& oList, std::unique_ptr<CItem> pItem) {
  CItem* pAdded = pItem.get();
  try {
    oList.m_oItems.push_back(std::move(pItem));
    // A duplicate name keeps pointing at the first item of that name.
    oList.m_oFirstByName.try_emplace(NameKey(pAdded->GetName().c_str()), pAdded);
    return true;
  } catch (const std::bad_alloc&) {
    if (!oList.m_oItems.empty() && oList.m_oItems.back().get() == pAdded) {
      oList.m_oItems.pop_back();
    }
    return false;
  }
}

CItem* CItemManager::GetItemRef(int iType, const char* szName) {
  if (SItemList* pList = ListFor(iType)) {
    const auto oFound = pList->m_oFirstByName.find(NameKey(szName));
    if (oFound != pList->m_oFirstByName.end()) return oFound->second;
  }
  ReportFailure("CItemManager::GetItemRef() failed for ", szName);
  return nullptr;
}

CItem* CItemManager::GetRefByImageName(int iType, const char* szImageName) {
  if (SItemList* pList = ListFor(iType)) {
    for (const auto& pItem : pList->m_oItems) {
      if (EqualsIgnoringCase(pItem->GetImageName().c_str(), szImageName)) return pItem.get();
    }
  }
  ReportFailure("CItemManager::GetRefByImageName() failed for ", szImageName);
  return nullptr;
}

void CItemManager::WriteObservation(int iType, const char* szName, const char* szState) {
  std::string sLine = std::to_string(iType);
  sLine += ", ";
  if (szName != nullptr) sLine += szName;
  sLine += szState;
  m_oUpTimeLog.LogEvent(sLine.c_str());
}

bool CItemManager::Update(int iType, const char* szName, int iState, bool& bChanged) {
  bChanged = false;
  CItem* pItem = GetItemRef(iType, szName);
  if (pItem == nullptr) {
    ReportFailure("CItemManager::Update() failed for ", szName);
    return false;
  }
  bChanged = IsItemStateChange(pItem->GetState(), iState);
  pItem->SetState(iState);
  if (iState == ITEM_UP) {
    WriteObservation(iType, szName, ", UP");
  } else if (iState == ITEM_DOWN) {
    WriteObservation(iType, szName, ", DN");
  }
  if (iState == ITEM_UP || iState == ITEM_DOWN) pItem->m_iLoggedState = iState;
  return true;
}

void CItemManager::LogProgramsUp(const char* szImageName) {
  for (const auto& pItem : ListFor(ITEM_PROGRAM)->m_oItems) {
    if (EqualsIgnoringCase(pItem->GetImageName().c_str(), szImageName)) return;
    WriteObservation(ITEM_PROGRAM, pItem->GetName().c_str(), ", UP");
    pItem->m_iLoggedState = ITEM_UP;
  }
}

std::vector<const CItem*> CItemManager::GetItems(int iType) const {
  std::vector<const CItem*> oItems;
  if (const SItemList* pList = ListFor(iType)) {
    for (const auto& pItem : pList->m_oItems) oItems.push_back(pItem.get());
  }
  return oItems;
}

void CItemManager::Clear() {
  for (SItemList& oList : m_aLists) {
    oList.m_oFirstByName.clear();
    oList.m_oItems.clear();
  }
}

}  // namespace wdx
