// The portable half of the component layer: identifiers, the Variant, the class registry in the
// registry store and the per-thread failure text. Loading libraries is in component_linux.cc.
#include "platform/component.h"

#include <cctype>
#include <memory>

#include "platform/platform_log.h"
#include "platform/registry_store.h"

namespace wdx {
namespace {

thread_local std::string t_sComponentError;

std::string ClassKey(const std::string& sClsid) {
  return "HKCR\\CLSID\\" + sClsid;
}

std::string ProgIdKey(const std::string& sProgId) {
  return "HKCR\\" + sProgId;
}

// A ProgID names one key directly below HKCR.
bool IsProgIdText(const std::string& sProgId) {
  if (sProgId.empty() || sProgId.size() > 255 || sProgId[0] == '{') return false;
  for (char c : sProgId) {
    if (c == '\\' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

bool RegistrationIsValid(const SClassRegistration& oClass) {
  if (!IsGuidText(oClass.m_sClsid)) return false;
  if (!oClass.m_sTypeLib.empty() && !IsGuidText(oClass.m_sTypeLib)) return false;
  if (!oClass.m_sProgId.empty() && !IsProgIdText(oClass.m_sProgId)) return false;
  if (!oClass.m_sIndependentProgId.empty() && !IsProgIdText(oClass.m_sIndependentProgId)) {
    return false;
  }
  return true;
}

bool WriteClassKeys(IRegistryStore& oStore, const SClassRegistration& oClass,
                    const std::string& sLibraryPath) {
  const std::string sKey = ClassKey(oClass.m_sClsid);
  // Stale subkeys of an earlier registration go first.
  if (!oStore.DeleteKey(sKey)) return false;
  if (!oStore.SetValue(sKey, "", oClass.m_sDescription)) return false;
  const std::string sServer = sKey + "\\InprocServer32";
  if (!oStore.SetValue(sServer, "", sLibraryPath)) return false;
  if (!oStore.SetValue(sServer, "ThreadingModel", oClass.m_sThreadingModel)) return false;
  if (!oClass.m_sProgId.empty() && !oStore.SetValue(sKey + "\\ProgID", "", oClass.m_sProgId)) {
    return false;
  }
  if (!oClass.m_sIndependentProgId.empty() &&
      !oStore.SetValue(sKey + "\\VersionIndependentProgID", "", oClass.m_sIndependentProgId)) {
    return false;
  }
  if (!oClass.m_sTypeLib.empty() && !oStore.SetValue(sKey + "\\TypeLib", "", oClass.m_sTypeLib)) {
    return false;
  }
  return true;
}

bool WriteProgIdKeys(IRegistryStore& oStore, const SClassRegistration& oClass) {
  if (!oClass.m_sProgId.empty()) {
    const std::string sKey = ProgIdKey(oClass.m_sProgId);
    if (!oStore.SetValue(sKey, "", oClass.m_sDescription)) return false;
    if (!oStore.SetValue(sKey + "\\CLSID", "", oClass.m_sClsid)) return false;
  }
  if (!oClass.m_sIndependentProgId.empty()) {
    const std::string sKey = ProgIdKey(oClass.m_sIndependentProgId);
    if (!oStore.SetValue(sKey, "", oClass.m_sDescription)) return false;
    if (!oStore.SetValue(sKey + "\\CLSID", "", oClass.m_sClsid)) return false;
    if (!oClass.m_sProgId.empty() && !oStore.SetValue(sKey + "\\CurVer", "", oClass.m_sProgId)) {
      return false;
    }
  }
  return true;
}

// Removes a ProgID key unless it now belongs to another class.
bool DeleteProgIdKey(IRegistryStore& oStore, const std::string& sProgId,
                     const std::string& sClsid) {
  if (sProgId.empty() || !IsProgIdText(sProgId)) return true;
  const std::string sKey = ProgIdKey(sProgId);
  std::string sOwner;
  if (oStore.GetValue(sKey + "\\CLSID", "", sOwner) &&
      !IsSameGuid(sOwner.c_str(), sClsid.c_str())) {
    return true;
  }
  return oStore.DeleteKey(sKey);
}

}  // namespace

bool IsSameGuid(const char* szLeft, const char* szRight) {
  if (szLeft == nullptr || szRight == nullptr) return false;
  for (; *szLeft != '\0' && *szRight != '\0'; ++szLeft, ++szRight) {
    if (std::tolower(static_cast<unsigned char>(*szLeft)) !=
        std::tolower(static_cast<unsigned char>(*szRight))) {
      return false;
    }
  }
  return *szLeft == '\0' && *szRight == '\0';
}

bool IsGuidText(const std::string& sText) {
  static constexpr char kPattern[] = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (sText.size() != sizeof kPattern - 1) return false;
  for (size_t i = 0; i < sText.size(); ++i) {
    const bool bHex = std::isxdigit(static_cast<unsigned char>(sText[i])) != 0;
    if (kPattern[i] == 'x' ? !bHex : sText[i] != kPattern[i]) return false;
  }
  return true;
}

bool CVariant::ChangeTypeToString() {
  switch (m_eType) {
    case VT_BSTR:
      return true;
    case VT_EMPTY:
      m_sValue.clear();
      break;
    case VT_I4:
    case VT_BOOL:
      m_sValue = std::to_string(m_lValue);
      break;
    default:
      return false;
  }
  m_eType = VT_BSTR;
  m_lValue = 0;
  return true;
}

void CVariant::Clear() {
  m_eType = VT_EMPTY;
  m_lValue = 0;
  m_sValue.clear();
}

const std::string& GetComponentError() {
  return t_sComponentError;
}

void SetComponentError(const std::string& sText) {
  t_sComponentError = sText;
  PlatformLogError(sText.c_str());
}

HRESULT RegisterComponentClass(const SClassRegistration& oClass, const std::string& sLibraryPath) {
  if (!RegistrationIsValid(oClass) || sLibraryPath.empty()) {
    SetComponentError("RegisterComponentClass() failed: invalid class registration.");
    return SELFREG_E_CLASS;
  }
  std::unique_ptr<IRegistryStore> pStore = OpenRegistryStore();
  if (!WriteClassKeys(*pStore, oClass, sLibraryPath) || !WriteProgIdKeys(*pStore, oClass)) {
    SetComponentError("RegisterComponentClass() failed to write the class registry for " +
                      oClass.m_sClsid);
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

HRESULT UnregisterComponentClass(const SClassRegistration& oClass) {
  if (!IsGuidText(oClass.m_sClsid)) {
    SetComponentError("UnregisterComponentClass() failed: invalid class identifier.");
    return SELFREG_E_CLASS;
  }
  std::unique_ptr<IRegistryStore> pStore = OpenRegistryStore();
  const bool bDone = pStore->DeleteKey(ClassKey(oClass.m_sClsid)) &&
                     DeleteProgIdKey(*pStore, oClass.m_sProgId, oClass.m_sClsid) &&
                     DeleteProgIdKey(*pStore, oClass.m_sIndependentProgId, oClass.m_sClsid);
  if (!bDone) {
    SetComponentError("UnregisterComponentClass() failed to remove the class registry for " +
                      oClass.m_sClsid);
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

bool ClsidFromProgId(const std::string& sProgId, std::string& sClsid) {
  if (IsGuidText(sProgId)) {
    sClsid = sProgId;
    return true;
  }
  if (!IsProgIdText(sProgId)) return false;
  std::unique_ptr<IRegistryStore> pStore = OpenRegistryStore();
  const std::string sKey = ProgIdKey(sProgId);
  std::string sFound;
  if (!pStore->GetValue(sKey + "\\CLSID", "", sFound)) {
    // A version-independent ProgID may name only its current version.
    std::string sCurrent;
    if (!pStore->GetValue(sKey + "\\CurVer", "", sCurrent) || !IsProgIdText(sCurrent) ||
        !pStore->GetValue(ProgIdKey(sCurrent) + "\\CLSID", "", sFound)) {
      return false;
    }
  }
  if (!IsGuidText(sFound)) return false;
  sClsid = sFound;
  return true;
}

}  // namespace wdx
