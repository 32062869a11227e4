// Loading component libraries with dlopen: the process-wide table of loaded libraries, creation
// through a library's class factory, self-registration and unloading.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/component.h"
#include "platform/registry_store.h"

namespace wdx {
namespace {

using GetClassObjectFn = int32_t (*)(const char*, const char*, void**);
using SimpleEntryFn = int32_t (*)();

// A dlopen handle, closed with the object.
class CLibraryHandle final {
 public:
  CLibraryHandle() = default;
  explicit CLibraryHandle(void* pHandle) : m_pHandle(pHandle) {}
  ~CLibraryHandle() {
    if (m_pHandle != nullptr) dlclose(m_pHandle);
  }
  CLibraryHandle(const CLibraryHandle&) = delete;
  CLibraryHandle& operator=(const CLibraryHandle&) = delete;

  void* Get() const { return m_pHandle; }
  template <class TFunction>
  TFunction Find(const char* szName) const {
    return reinterpret_cast<TFunction>(dlsym(m_pHandle, szName));
  }

 private:
  void* m_pHandle = nullptr;
};

// One loaded library of the table. m_iBusy counts creations running outside the table lock;
// a busy library is never unloaded.
struct SLoadedLibrary {
  std::string m_sPath;
  std::unique_ptr<CLibraryHandle> m_pHandle;
  GetClassObjectFn m_pfnGetClassObject = nullptr;
  SimpleEntryFn m_pfnCanUnloadNow = nullptr;
  int m_iBusy = 0;
};

struct SLibraryTable {
  std::mutex m_oMutex;
  std::vector<std::unique_ptr<SLoadedLibrary>> m_oLibraries;
};

SLibraryTable& GetTable() {
  static SLibraryTable* s_pTable = new SLibraryTable;  // lives as long as any library may
  return *s_pTable;
}

std::string HexText(HRESULT hr) {
  char aText[16];
  std::snprintf(aText, sizeof aText, "0x%08X", static_cast<unsigned>(hr));
  return aText;
}

HRESULT Fail(HRESULT hr, const std::string& sText) {
  SetComponentError(sText + " (" + HexText(hr) + ")");
  return hr;
}

std::string AbsolutePath(const std::string& sPath) {
  if (sPath.empty() || sPath[0] == '/') return sPath;
  char aFolder[PATH_MAX];
  if (getcwd(aFolder, sizeof aFolder) == nullptr) return sPath;
  return std::string(aFolder) + "/" + sPath;
}

// Opens a library file; CO_E_DLLNOTFOUND when it is missing or cannot be loaded.
HRESULT OpenLibrary(const std::string& sPath, std::unique_ptr<CLibraryHandle>& pHandle) {
  struct stat oInfo {};
  if (sPath.empty() || stat(sPath.c_str(), &oInfo) != 0 || !S_ISREG(oInfo.st_mode)) {
    return Fail(CO_E_DLLNOTFOUND, "Component library not found: " + sPath);
  }
  dlerror();
  void* pRaw = dlopen(sPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (pRaw == nullptr) {
    const char* szReason = dlerror();
    return Fail(CO_E_DLLNOTFOUND,
                "Cannot load component library: " + std::string(szReason ? szReason : sPath));
  }
  pHandle = std::make_unique<CLibraryHandle>(pRaw);
  return S_OK;
}

// Finds or loads sPath in the table (lock held by the caller).
HRESULT FindOrLoad(SLibraryTable& oTable, const std::string& sPath, SLoadedLibrary*& pFound) {
  for (const auto& pEntry : oTable.m_oLibraries) {
    if (pEntry->m_sPath == sPath) {
      pFound = pEntry.get();
      return S_OK;
    }
  }
  auto pEntry = std::make_unique<SLoadedLibrary>();
  const HRESULT hr = OpenLibrary(sPath, pEntry->m_pHandle);
  if (!Succeeded(hr)) return hr;
  pEntry->m_pfnGetClassObject =
      pEntry->m_pHandle->Find<GetClassObjectFn>(WDX_ENTRY_GET_CLASS_OBJECT);
  pEntry->m_pfnCanUnloadNow = pEntry->m_pHandle->Find<SimpleEntryFn>(WDX_ENTRY_CAN_UNLOAD_NOW);
  if (pEntry->m_pfnGetClassObject == nullptr || pEntry->m_pfnCanUnloadNow == nullptr) {
    return Fail(CO_E_ERRORINDLL, "Component library lacks its entry points: " + sPath);
  }
  pEntry->m_sPath = sPath;
  pFound = pEntry.get();
  oTable.m_oLibraries.push_back(std::move(pEntry));
  return S_OK;
}

HRESULT LookUpServerPath(const std::string& sClsidOrProgId, std::string& sClsid,
                         std::string& sPath) {
  if (!ClsidFromProgId(sClsidOrProgId, sClsid)) {
    return Fail(REGDB_E_CLASSNOTREG, "Class not registered: " + sClsidOrProgId);
  }
  std::unique_ptr<IRegistryStore> pStore = OpenRegistryStore();
  if (!pStore->GetValue("HKCR\\CLSID\\" + sClsid + "\\InprocServer32", "", sPath) ||
      sPath.empty()) {
    return Fail(REGDB_E_CLASSNOTREG, "Class not registered: " + sClsidOrProgId);
  }
  return S_OK;
}

HRESULT CreateFromLibrary(SLoadedLibrary& oLibrary, const std::string& sClsid, const char* szIid,
                          void** ppOut) {
  CInterfacePtr<IClassFactory> pFactory;
  HRESULT hr = oLibrary.m_pfnGetClassObject(sClsid.c_str(), IID_IClassFactory, pFactory.Receive());
  if (!Succeeded(hr) || !pFactory) {
    return Fail(Succeeded(hr) ? E_FAIL : hr,
                "No class factory for " + sClsid + " in " + oLibrary.m_sPath);
  }
  hr = pFactory->CreateInstance(szIid, ppOut);
  if (!Succeeded(hr)) return Fail(hr, "Cannot create an object of class " + sClsid);
  return S_OK;
}

}  // namespace

std::string GetLibraryPathOf(const void* pAddress) {
  Dl_info oInfo{};
  if (pAddress == nullptr || dladdr(pAddress, &oInfo) == 0 || oInfo.dli_fname == nullptr) {
    return "";
  }
  char aResolved[PATH_MAX];
  if (realpath(oInfo.dli_fname, aResolved) != nullptr) return aResolved;
  return oInfo.dli_fname;
}

HRESULT CreateInstance(const std::string& sClsidOrProgId, const char* szIid, void** ppOut) {
  if (ppOut == nullptr) return Fail(E_POINTER, "CreateInstance() without an out-parameter");
  *ppOut = nullptr;
  if (szIid == nullptr) return Fail(E_POINTER, "CreateInstance() without an interface");
  std::string sClsid;
  std::string sPath;
  HRESULT hr = LookUpServerPath(sClsidOrProgId, sClsid, sPath);
  if (!Succeeded(hr)) return hr;
  SLibraryTable& oTable = GetTable();
  SLoadedLibrary* pLibrary = nullptr;
  {
    std::lock_guard<std::mutex> oLock(oTable.m_oMutex);
    hr = FindOrLoad(oTable, sPath, pLibrary);
    if (!Succeeded(hr)) return hr;
    ++pLibrary->m_iBusy;
  }
  // The library's code runs without the table lock, so that it may create objects itself.
  hr = CreateFromLibrary(*pLibrary, sClsid, szIid, ppOut);
  std::lock_guard<std::mutex> oLock(oTable.m_oMutex);
  --pLibrary->m_iBusy;
  return hr;
}

HRESULT RegisterLibrary(const std::string& sLibraryPath, bool bUnregister) {
  const std::string sPath = AbsolutePath(sLibraryPath);
  std::unique_ptr<CLibraryHandle> pHandle;
  HRESULT hr = OpenLibrary(sPath, pHandle);
  if (!Succeeded(hr)) return hr;
  const char* szEntry = bUnregister ? WDX_ENTRY_UNREGISTER_SERVER : WDX_ENTRY_REGISTER_SERVER;
  auto pfnEntry = pHandle->Find<SimpleEntryFn>(szEntry);
  if (pfnEntry == nullptr) {
    return Fail(CO_E_ERRORINDLL, std::string("Entry point ") + szEntry + " not found in " + sPath);
  }
  hr = pfnEntry();
  if (!Succeeded(hr)) return Fail(hr, std::string(szEntry) + " failed in " + sPath);
  return S_OK;
}

int FreeUnusedLibraries() {
  SLibraryTable& oTable = GetTable();
  std::vector<std::unique_ptr<SLoadedLibrary>> oUnused;
  {
    std::lock_guard<std::mutex> oLock(oTable.m_oMutex);
    auto& oAll = oTable.m_oLibraries;
    for (auto it = oAll.begin(); it != oAll.end();) {
      if ((*it)->m_iBusy == 0 && (*it)->m_pfnCanUnloadNow() == S_OK) {
        oUnused.push_back(std::move(*it));
        it = oAll.erase(it);
      } else {
        ++it;
      }
    }
  }
  // dlclose runs the libraries' destructors; done outside the lock.
  const int iCount = static_cast<int>(oUnused.size());
  oUnused.clear();
  return iCount;
}

std::vector<std::string> GetLoadedLibraries() {
  SLibraryTable& oTable = GetTable();
  std::lock_guard<std::mutex> oLock(oTable.m_oMutex);
  std::vector<std::string> oPaths;
  for (const auto& pEntry : oTable.m_oLibraries) oPaths.push_back(pEntry->m_sPath);
  return oPaths;
}

}  // namespace wdx
