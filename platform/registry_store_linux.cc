// The registry store as one JSON file:
//   {"version":1,"keys":{"<key path as first written>":{"<value name>":"<value>",...},...}}
// Reads parse the file as it is (it is only ever replaced whole, by rename). Each change takes
// the named lock "WardenixRegistry", reads, changes and replaces the file, then releases.
#include <errno.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <set>

#include <nlohmann/json.hpp>

#include "platform/debug_output.h"
#include "platform/file_system.h"
#include "platform/named_lock.h"
#include "platform/platform_log.h"
#include "platform/registry_store.h"

namespace wdx {
namespace {

using json = nlohmann::json;

constexpr int64_t kMaxStoreBytes = 16 * 1024 * 1024;
constexpr int kLockWaitMs = 5000;
constexpr int kStoreVersion = 1;
const char* const kLockName = "WardenixRegistry";

std::string Lower(const std::string& sText) {
  std::string sLower(sText);
  for (char& cChar : sLower) {
    if (cChar >= 'A' && cChar <= 'Z') cChar = static_cast<char>(cChar - 'A' + 'a');
  }
  return sLower;
}

// "A\B\" and "A\B" name the same key.
std::string NormalizeKey(const std::string& sKey) {
  size_t iEnd = sKey.find_last_not_of('\\');
  return iEnd == std::string::npos ? std::string() : sKey.substr(0, iEnd + 1);
}

// The stored spelling of a name in an object, compared without case; "" when absent.
json::iterator FindNoCase(json& oObject, const std::string& sName) {
  std::string sWanted = Lower(sName);
  for (auto it = oObject.begin(); it != oObject.end(); ++it) {
    if (Lower(it.key()) == sWanted) return it;
  }
  return oObject.end();
}

// The part of sStored below sKey ("" when sStored is not below it).
std::string PartBelow(const std::string& sStored, const std::string& sKey) {
  if (sKey.empty()) return sStored;
  if (sStored.size() <= sKey.size() + 1 || sStored[sKey.size()] != '\\') return std::string();
  if (Lower(sStored.substr(0, sKey.size())) != Lower(sKey)) return std::string();
  return sStored.substr(sKey.size() + 1);
}

bool IsWellFormed(const json& oDoc) {
  if (!oDoc.is_object()) return false;
  auto itVersion = oDoc.find("version");
  auto itKeys = oDoc.find("keys");
  if (itVersion == oDoc.end() || !itVersion->is_number_integer() ||
      itVersion->get<int64_t>() != kStoreVersion || itKeys == oDoc.end() || !itKeys->is_object()) {
    return false;
  }
  for (const auto& oValues : *itKeys) {
    if (!oValues.is_object()) return false;
    for (const auto& oValue : oValues) {
      if (!oValue.is_string()) return false;
    }
  }
  return true;
}

// Holds the store's named lock for one change.
class CStoreLock final {
 public:
  CStoreLock() : m_pLock(CreateNamedLock(kLockName)) {
    if (m_pLock == nullptr) return;
    ELockWait eWait = m_pLock->Wait(kLockWaitMs);
    m_bHeld = eWait == ELockWait::ACQUIRED || eWait == ELockWait::ABANDONED;
    m_iError = eWait == ELockWait::TIMEOUT ? ETIMEDOUT : ENOLCK;
  }
  ~CStoreLock() {
    if (m_bHeld) m_pLock->Release();
  }
  CStoreLock(const CStoreLock&) = delete;
  CStoreLock& operator=(const CStoreLock&) = delete;
  bool IsHeld() const { return m_bHeld; }
  int GetError() const { return m_iError; }

 private:
  std::unique_ptr<INamedLock> m_pLock;
  bool m_bHeld = false;
  int m_iError = ENOLCK;
};

class CRegistryStore final : public IRegistryStore {
 public:
  explicit CRegistryStore(std::string sPath) : m_sPath(std::move(sPath)) {}
  CRegistryStore(const CRegistryStore&) = delete;
  CRegistryStore& operator=(const CRegistryStore&) = delete;

  bool KeyExists(const std::string& sKey) override;
  bool CreateKey(const std::string& sKey) override;
  bool DeleteKey(const std::string& sKey) override;
  bool GetValue(const std::string& sKey, const std::string& sName, std::string& sValue) override;
  bool SetValue(const std::string& sKey, const std::string& sName,
                const std::string& sValue) override;
  bool DeleteValue(const std::string& sKey, const std::string& sName) override;
  bool ListSubKeys(const std::string& sKey, std::vector<std::string>& oNames) override;
  int GetLastErrorCode() const override { return m_iLastError.load(); }

 private:
  template <typename TChange>
  bool Change(const char* szOperation, const std::string& sKey, TChange change);
  bool Load(json& oDoc, const char* szOperation);
  bool Save(const json& oDoc, const char* szOperation, const std::string& sKey);
  bool Fail(int iError, const char* szOperation, const std::string& sDetail);
  bool Succeed() {
    m_iLastError.store(0);
    return true;
  }

  std::string m_sPath;
  std::atomic<int> m_iLastError{0};
};

bool CRegistryStore::Fail(int iError, const char* szOperation, const std::string& sDetail) {
  m_iLastError.store(iError);
  if (iError != ENOENT) {
    std::string sText = std::string("CRegistryStore::") + szOperation + "() failed for " + sDetail +
                        ": " + std::strerror(iError);
    PlatformLogError(sText.c_str());
  }
  return false;
}

// A missing file is an empty store; a file that does not parse is refused and left alone.
bool CRegistryStore::Load(json& oDoc, const char* szOperation) {
  std::string sText;
  IFileSystem& oFiles = GetFileSystem();
  if (!oFiles.ReadFile(m_sPath, sText, kMaxStoreBytes)) {
    int iError = oFiles.GetLastErrorCode();
    if (iError == ENOENT) {
      oDoc = json{{"version", kStoreVersion}, {"keys", json::object()}};
      return true;
    }
    return Fail(iError != 0 ? iError : EIO, szOperation, m_sPath);
  }
  oDoc = json::parse(sText, nullptr, false);
  if (oDoc.is_discarded() || !IsWellFormed(oDoc)) {
    std::string sText2 = "CRegistryStore: the store file " + m_sPath +
                         " is damaged (not a registry store); it is left unchanged and no "
                         "change is written until it is repaired or removed.";
    DebugOutput(sText2.c_str());
    return Fail(EBADMSG, szOperation, m_sPath);
  }
  return true;
}

bool CRegistryStore::Save(const json& oDoc, const char* szOperation, const std::string& sKey) {
  std::string sText;
  try {
    sText = oDoc.dump(1) + "\n";
  } catch (const json::exception&) {
    return Fail(EINVAL, szOperation, sKey + " (text is not UTF-8)");
  }
  IFileSystem& oFiles = GetFileSystem();
  std::string sFolder = FolderOf(m_sPath);
  if (!sFolder.empty() && !oFiles.FolderExists(sFolder) && !oFiles.MakeFolders(sFolder, 0700)) {
    return Fail(oFiles.GetLastErrorCode(), szOperation, sFolder);
  }
  if (!oFiles.ReplaceFile(m_sPath, sText, 0600)) {
    return Fail(oFiles.GetLastErrorCode(), szOperation, m_sPath);
  }
  return true;
}

// change(keys) edits the "keys" object and returns whether anything changed.
template <typename TChange>
bool CRegistryStore::Change(const char* szOperation, const std::string& sKey, TChange change) {
  if (sKey.empty()) return Fail(EINVAL, szOperation, "an empty key");
  try {
    CStoreLock oLock;
    if (!oLock.IsHeld()) return Fail(oLock.GetError(), szOperation, sKey);
    json oDoc;
    if (!Load(oDoc, szOperation)) return false;
    if (change(oDoc["keys"]) && !Save(oDoc, szOperation, sKey)) return false;
    return Succeed();
  } catch (const std::exception&) {
    return Fail(ENOMEM, szOperation, sKey);
  }
}

bool CRegistryStore::KeyExists(const std::string& sKey) {
  std::string sWanted = NormalizeKey(sKey);
  if (sWanted.empty()) return Fail(EINVAL, "KeyExists", "an empty key");
  json oDoc;
  if (!Load(oDoc, "KeyExists")) return false;
  for (const auto& oItem : oDoc["keys"].items()) {
    if (Lower(oItem.key()) == Lower(sWanted) || !PartBelow(oItem.key(), sWanted).empty()) {
      return Succeed();
    }
  }
  return Fail(ENOENT, "KeyExists", sWanted);
}

bool CRegistryStore::CreateKey(const std::string& sKey) {
  std::string sWanted = NormalizeKey(sKey);
  return Change("CreateKey", sWanted, [&](json& oKeys) {
    if (FindNoCase(oKeys, sWanted) != oKeys.end()) return false;
    oKeys[sWanted] = json::object();
    return true;
  });
}

bool CRegistryStore::DeleteKey(const std::string& sKey) {
  std::string sWanted = NormalizeKey(sKey);
  return Change("DeleteKey", sWanted, [&](json& oKeys) {
    std::vector<std::string> oGone;
    for (const auto& oItem : oKeys.items()) {
      if (Lower(oItem.key()) == Lower(sWanted) || !PartBelow(oItem.key(), sWanted).empty()) {
        oGone.push_back(oItem.key());
      }
    }
    for (const auto& sGone : oGone) oKeys.erase(sGone);
    return !oGone.empty();
  });
}

bool CRegistryStore::GetValue(const std::string& sKey, const std::string& sName,
                              std::string& sValue) {
  std::string sWanted = NormalizeKey(sKey);
  json oDoc;
  if (!Load(oDoc, "GetValue")) return false;
  json& oKeys = oDoc["keys"];
  auto itKey = FindNoCase(oKeys, sWanted);
  if (itKey == oKeys.end()) return Fail(ENOENT, "GetValue", sWanted);
  auto itValue = FindNoCase(*itKey, sName);
  if (itValue == itKey->end()) return Fail(ENOENT, "GetValue", sWanted);
  sValue = itValue->get<std::string>();
  return Succeed();
}

bool CRegistryStore::SetValue(const std::string& sKey, const std::string& sName,
                              const std::string& sValue) {
  std::string sWanted = NormalizeKey(sKey);
  return Change("SetValue", sWanted, [&](json& oKeys) {
    auto itKey = FindNoCase(oKeys, sWanted);
    json& oValues = itKey != oKeys.end() ? *itKey : (oKeys[sWanted] = json::object());
    auto itValue = FindNoCase(oValues, sName);
    if (itValue == oValues.end()) {
      oValues[sName] = sValue;
      return true;
    }
    if (itValue->get<std::string>() == sValue) return false;
    *itValue = sValue;
    return true;
  });
}

bool CRegistryStore::DeleteValue(const std::string& sKey, const std::string& sName) {
  std::string sWanted = NormalizeKey(sKey);
  return Change("DeleteValue", sWanted, [&](json& oKeys) {
    auto itKey = FindNoCase(oKeys, sWanted);
    if (itKey == oKeys.end()) return false;
    auto itValue = FindNoCase(*itKey, sName);
    if (itValue == itKey->end()) return false;
    itKey->erase(itValue);
    return true;
  });
}

bool CRegistryStore::ListSubKeys(const std::string& sKey, std::vector<std::string>& oNames) {
  oNames.clear();
  std::string sWanted = NormalizeKey(sKey);
  json oDoc;
  if (!Load(oDoc, "ListSubKeys")) return false;
  bool bExists = sWanted.empty();
  std::set<std::string> oSeen;  // lower-case names already listed
  for (const auto& oItem : oDoc["keys"].items()) {
    if (Lower(oItem.key()) == Lower(sWanted)) bExists = true;
    std::string sBelow = PartBelow(oItem.key(), sWanted);
    if (sBelow.empty()) continue;
    bExists = true;
    std::string sChild = sBelow.substr(0, sBelow.find('\\'));
    if (!sChild.empty() && oSeen.insert(Lower(sChild)).second) oNames.push_back(sChild);
  }
  return bExists ? Succeed() : Fail(ENOENT, "ListSubKeys", sWanted);
}

}  // namespace

std::string GetRegistryStorePath() {
  const char* szPath = std::getenv("WDX_REGISTRY");
  return szPath != nullptr && *szPath != '\0' ? std::string(szPath)
                                              : std::string("/var/lib/wardenix/registry");
}

std::unique_ptr<IRegistryStore> OpenRegistryStore() {
  return OpenRegistryStoreAt(GetRegistryStorePath());
}

std::unique_ptr<IRegistryStore> OpenRegistryStoreAt(const std::string& sPath) {
  return std::make_unique<CRegistryStore>(sPath);
}

}  // namespace wdx
