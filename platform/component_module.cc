// The shared part of every component library: its lock count, its class factory and the work
// behind its four entry points.
#include "platform/component_module.h"

namespace wdx {
namespace {

std::atomic<long> g_lModuleLocks{0};

// Serves one class of the library; counts as a live object while it is held.
class CClassFactory final : public CComObject<CClassFactory, IClassFactory> {
 public:
  explicit CClassFactory(ComCreatorFn pfnCreate) : m_pfnCreate(pfnCreate) {}

  HRESULT CreateInstance(const char* szIid, void** ppOut) override {
    if (ppOut == nullptr) return E_POINTER;
    *ppOut = nullptr;
    return m_pfnCreate(szIid, ppOut);
  }
  HRESULT LockServer(bool bLock) override {
    if (bLock) {
      ModuleLock();
    } else {
      ModuleUnlock();
    }
    return S_OK;
  }

 private:
  ComCreatorFn m_pfnCreate;
};

}  // namespace

void ModuleLock() {
  g_lModuleLocks.fetch_add(1);
}

void ModuleUnlock() {
  g_lModuleLocks.fetch_sub(1);
}

long GetModuleLockCount() {
  return g_lModuleLocks.load();
}

HRESULT ModuleGetClassObject(ComClassListFn pfnClasses, const char* szClsid, const char* szIid,
                             void** ppOut) {
  if (ppOut == nullptr) return E_POINTER;
  *ppOut = nullptr;
  try {
    for (const SComponentClass& oClass : pfnClasses()) {
      if (!IsSameGuid(szClsid, oClass.m_oRegistration.m_sClsid.c_str())) continue;
      if (oClass.m_pfnCreate == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
      auto* pFactory = new CClassFactory(oClass.m_pfnCreate);
      pFactory->AddRef();
      const HRESULT hr = pFactory->QueryInterface(szIid, ppOut);
      pFactory->Release();
      return hr;
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ModuleCanUnloadNow() {
  return GetModuleLockCount() == 0 ? S_OK : S_FALSE;
}

HRESULT ModuleRegisterServer(ComClassListFn pfnClasses, const void* pInLibrary) {
  try {
    const std::string sPath = GetLibraryPathOf(pInLibrary);
    if (sPath.empty()) return SELFREG_E_CLASS;
    for (const SComponentClass& oClass : pfnClasses()) {
      const HRESULT hr = RegisterComponentClass(oClass.m_oRegistration, sPath);
      if (!Succeeded(hr)) return hr;
    }
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ModuleUnregisterServer(ComClassListFn pfnClasses) {
  try {
    HRESULT hrResult = S_OK;
    for (const SComponentClass& oClass : pfnClasses()) {
      const HRESULT hr = UnregisterComponentClass(oClass.m_oRegistration);
      if (!Succeeded(hr)) hrResult = hr;
    }
    return hrResult;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace wdx
