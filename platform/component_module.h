// Building blocks for a component library (a shared library that serves classes through the
// component layer), so that each library holds only its own classes:
//   - CComObject<TDerived, TInterfaces...>: reference counting and QueryInterface for a class
//     that implements one or more interfaces; every interface declares its identifier as
//     `static constexpr const char* kIid`. Each live object counts in the module's lock count.
//   - CreateComObject<T>: the creator function of one class (new T, then QueryInterface).
//   - SComponentClass: one class of the library (its registration and its creator).
//   - WDX_COMPONENT_MODULE(fnClasses): defines the four exported entry points; fnClasses is a
//     function returning `const std::vector<wdx::SComponentClass>&`.
// A component library links wdx_core with "-Wl,--exclude-libs,ALL" and is compiled with hidden
// visibility, so that only the four entry points are seen by the host; the lock count below is
// then one per library.
//
// Threading: reference counts and the module lock count are atomic; the entry points may be
// called from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "platform/component.h"

namespace wdx {

// The module's count of live objects and server locks; WdxCanUnloadNow answers S_OK at zero.
void ModuleLock();
void ModuleUnlock();
long GetModuleLockCount();

template <class TDerived, class... TInterfaces>
class CComObject : public TInterfaces... {
  static_assert(sizeof...(TInterfaces) > 0, "a component object implements an interface");

 public:
  CComObject(const CComObject&) = delete;
  CComObject& operator=(const CComObject&) = delete;

  HRESULT QueryInterface(const char* szIid, void** ppOut) override {
    if (ppOut == nullptr) return E_POINTER;
    *ppOut = nullptr;
    if (szIid == nullptr) return E_NOINTERFACE;
    if (IsSameGuid(szIid, IID_IUnknown)) {
      *ppOut = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
    } else {
      (FindInterface<TInterfaces>(szIid, ppOut) || ...);
    }
    if (*ppOut == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() override { return m_lRefCount.fetch_add(1) + 1; }
  uint32_t Release() override {
    const uint32_t lLeft = m_lRefCount.fetch_sub(1) - 1;
    if (lLeft == 0) delete static_cast<TDerived*>(this);
    return lLeft;
  }

 protected:
  CComObject() { ModuleLock(); }
  ~CComObject() override { ModuleUnlock(); }

 private:
  using FirstInterface = std::tuple_element_t<0, std::tuple<TInterfaces...>>;

  template <class TInterface>
  bool FindInterface(const char* szIid, void** ppOut) {
    if (!IsSameGuid(szIid, TInterface::kIid)) return false;
    *ppOut = static_cast<TInterface*>(this);
    return true;
  }

  std::atomic<uint32_t> m_lRefCount{0};
};

using ComCreatorFn = HRESULT (*)(const char* szIid, void** ppOut);

// Creates a T (default-constructible, derived from CComObject) and asks it for szIid.
template <class T>
HRESULT CreateComObject(const char* szIid, void** ppOut) {
  if (ppOut == nullptr) return E_POINTER;
  *ppOut = nullptr;
  T* pObject = nullptr;
  try {
    pObject = new T();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  pObject->AddRef();
  const HRESULT hr = pObject->QueryInterface(szIid, ppOut);
  pObject->Release();
  return hr;
}

struct SComponentClass {
  SClassRegistration m_oRegistration;
  ComCreatorFn m_pfnCreate = nullptr;
};

// The library's class list; built on first use.
using ComClassListFn = const std::vector<SComponentClass>& (*)();

// The work of the four entry points; no exception leaves them.
HRESULT ModuleGetClassObject(ComClassListFn pfnClasses, const char* szClsid, const char* szIid,
                             void** ppOut);
HRESULT ModuleCanUnloadNow();
// pInLibrary: any address inside the library, to find its file.
HRESULT ModuleRegisterServer(ComClassListFn pfnClasses, const void* pInLibrary);
HRESULT ModuleUnregisterServer(ComClassListFn pfnClasses);

}  // namespace wdx

#define WDX_COMPONENT_EXPORT extern "C" __attribute__((visibility("default")))

#define WDX_COMPONENT_MODULE(fnClasses)                                                    \
  WDX_COMPONENT_EXPORT int32_t WdxGetClassObject(const char* szClsid, const char* szIid,   \
                                                 void** ppOut) {                           \
    return ::wdx::ModuleGetClassObject(&fnClasses, szClsid, szIid, ppOut);                 \
  }                                                                                        \
  WDX_COMPONENT_EXPORT int32_t WdxCanUnloadNow() {                                         \
    return ::wdx::ModuleCanUnloadNow();                                                    \
  }                                                                                        \
  WDX_COMPONENT_EXPORT int32_t WdxRegisterServer() {                                       \
    return ::wdx::ModuleRegisterServer(&fnClasses,                                         \
                                       reinterpret_cast<const void*>(&WdxRegisterServer)); \
  }                                                                                        \
  WDX_COMPONENT_EXPORT int32_t WdxUnregisterServer() {                                     \
    return ::wdx::ModuleUnregisterServer(&fnClasses);                                      \
  }
