// CItemManager: one record per monitored thing (program, local URL, remote URL, the restart)
// with its last known state. It decides whether a reported state is a change worth an alert and
// writes every observation as an event line of the uptime log FOLDER/UpTime.log:
//   "MM/DD/YY HH:MM:SS (event): TYPE, NAME, UP" (or ", DN"), ending in CR CR LF.
// Each initialisation writes two banner message lines; an UpTime.log of 10,000,000 bytes or more
// is moved to FOLDER/Uptime.old when the manager is initialised and before any line written
// while it runs. Lines go through CLogFile and its cross-process lock, so the uptime report and
// the console may read the file at any time.
// When the uptime log cannot be opened the states are still kept; only the lines are lost.
//
// CItem: the record of one monitored thing, owned by the manager's list of its type.
//
// Threading: used by one thread at a time (the operations thread); not safe to share.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/log_file.h"
#include "foundation/zuv_base.h"
#include "foundation/zuv_str.h"
#include "service/ops/item_codes.h"

namespace wdx {

// At most this many items per item type.
inline constexpr int ITEM_MAX_PER_TYPE = 4096;
// Longest item name or image name, in bytes (the bound of CZuvStr).
inline constexpr int ITEM_MAX_NAME_LENGTH = ZUV_MAX_STR_LENGTH - 2;
inline constexpr int UPTIME_LOG_MAX_SIZE = 10'000'000;
// The uptime log is FOLDER/UpTime.log; its previous generation FOLDER/Uptime.old.
inline constexpr const char* UPTIME_LOG_BASE_NAME = "UpTime";
inline constexpr const char* UPTIME_OLD_BASE_NAME = "Uptime";

// Whether a report of iNewState for an item whose state is iOldState is a change: a different
// state, except that a first report (old state ITEM_UNKNOWN) counts only when it is ITEM_DOWN.
bool IsItemStateChange(int iOldState, int iNewState);

// Equality of two texts ignoring ASCII letter case (nullptr reads as "").
bool EqualsIgnoringCase(const char* szFirst, const char* szSecond);

class CItem final : public CZuvBase {
 public:
  CItem() = default;
  ~CItem() override = default;

  int GetType() const { return m_iType; }
  void SetType(int iType) { m_iType = iType; }
  // The name is given once, by CItemManager::AddItem.
  const std::string& GetName() const { return m_sName; }
  const std::string& GetImageName() const { return m_sImageName; }
  // False (image name unchanged) when the text is longer than ITEM_MAX_NAME_LENGTH.
  bool SetImageName(const char* szImageName);
  int GetState() const { return m_iState; }
  void SetState(int iState) { m_iState = iState; }
  // ITEM_UP or ITEM_DOWN as the last UP or DN line of the uptime log has it (programs are logged
  // UP without a state change); ITEM_UNKNOWN before the first line since the item was added.
  int GetLoggedState() const { return m_iLoggedState; }

 private:
  friend class CItemManager;
  // False (name unchanged) when the text is longer than ITEM_MAX_NAME_LENGTH.
  bool SetName(const char* szName);

  int m_iType = ITEM_REMOTE_URL;
  std::string m_sName;
  std::string m_sImageName;
  int m_iState = ITEM_UNKNOWN;
  int m_iLoggedState = ITEM_UNKNOWN;
};

class CItemManager final : public CZuvBase {
 public:
  CItemManager() = default;
  ~CItemManager() override = default;

  // The folder of UpTime.log (the service's working directory); used by the next ReInitialize.
  // A name longer than a CZuvStr holds is refused with an error (the folder stays as it was).
  void SetLogDirectory(const char* szFolder);
  const char* GetLogDirectory() const { return m_oLogDirectory.GetBuffer(); }

  // Deletes every item, opens (rotating when full) the uptime log in the log directory and
  // writes the two banner lines. False with "CItemManager::ReInitialize() failed." when the log
  // cannot be opened; items may be added and updated all the same.
  bool ReInitialize();
  bool IsReady() const { return m_bReady; }

  // Appends a new item to the list of its type. Duplicates are kept (lookups find the first).
  // False with an error for an unknown type, a full list or a name that is too long.
  bool AddItem(int iType, const char* szName);
  // The first item of the type whose name equals szName ignoring case; nullptr with an error.
  CItem* GetItemRef(int iType, const char* szName);
  // The same by image name.
  CItem* GetRefByImageName(int iType, const char* szImageName);
  // Records an observation of the item (type, name): bChanged tells whether it is a change worth
  // an alert, the item takes the state, and an UP or DN line is written for states ITEM_UP and
  // ITEM_DOWN. False (bChanged false, nothing changed) when there is no such item.
  bool Update(int iType, const char* szName, int iState, bool& bChanged);
  // Writes "100, NAME, UP" for each program item, in list order, before the first whose image
  // name equals szImageName ignoring case ("" stops at the first item without an image name).
  void LogProgramsUp(const char* szImageName);
  // Deletes every item of every list.
  void Clear();

  // Number of items of the type; -1 for an unknown type.
  int GetItemCount(int iType) const;
  // The items of the type in list order (none for an unknown type); valid until the list changes.
  std::vector<const CItem*> GetItems(int iType) const;

 private:
  // The items of one type in the order they were added, and the first item of each name (the
  // name with its letters folded to lower case), so that a lookup does not walk the list.
  struct SItemList {
    std::vector<std::unique_ptr<CItem>> m_oItems;
    std::unordered_map<std::string, CItem*> m_oFirstByName;
  };

  // The list of the type; nullptr for an unknown type.
  SItemList* ListFor(int iType);
  const SItemList* ListFor(int iType) const;
  // Appends the item and indexes its name; false when memory runs out (nothing added).
  static bool Append(SItemList& oList, std::unique_ptr<CItem> pItem);
  void WriteObservation(int iType, const char* szName, const char* szState);

  CZuvStr m_oLogDirectory;
  CLogFile m_oUpTimeLog;
  std::array<SItemList, 4> m_aLists;
  bool m_bReady = false;
};

}  // namespace wdx
