// The component layer: reference-counted interfaces found by interface identifier, a small
// Variant, and components that live in shared libraries and are created by class identifier or
// ProgID through the class registry in the registry store (keys under "HKCR\CLSID\{...}" and
// "HKCR\<ProgID>").
//
// A component library exports four C entry points (see the WDX_COMPONENT_* names below):
//   int32_t WdxGetClassObject(const char* szClsid, const char* szIid, void** ppOut);
//   int32_t WdxCanUnloadNow();        // S_OK when no object or lock of the library is alive
//   int32_t WdxRegisterServer();      // writes the library's classes into the class registry
//   int32_t WdxUnregisterServer();    // removes them
// Libraries are loaded with dlopen on first use and unloaded by FreeUnusedLibraries once
// WdxCanUnloadNow answers S_OK.
//
// Results follow the familiar convention: S_OK (0) succeeds, negative values fail; interface
// methods that answer truth values use -1 for true and 0 for false.
//
// Threading: reference counts are atomic; CreateInstance, RegisterLibrary and
// FreeUnusedLibraries may be called from any thread (one process-wide table, locked). An
// object's own methods follow its component's contract.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace wdx {

using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
inline constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
inline constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);

inline bool Succeeded(HRESULT hr) {
  return hr >= 0;
}

// Names of the entry points a component library exports.
inline constexpr const char* WDX_ENTRY_GET_CLASS_OBJECT = "WdxGetClassObject";
inline constexpr const char* WDX_ENTRY_CAN_UNLOAD_NOW = "WdxCanUnloadNow";
inline constexpr const char* WDX_ENTRY_REGISTER_SERVER = "WdxRegisterServer";
inline constexpr const char* WDX_ENTRY_UNREGISTER_SERVER = "WdxUnregisterServer";

// Interface identifiers are GUID texts in braces, compared without letter case.
inline constexpr const char* IID_IUnknown = "{00000000-0000-0000-C000-000000000046}";
inline constexpr const char* IID_IClassFactory = "{00000001-0000-0000-C000-000000000046}";
bool IsSameGuid(const char* szLeft, const char* szRight);

class IUnknown {
 public:
  static constexpr const char* kIid = IID_IUnknown;
  virtual HRESULT QueryInterface(const char* szIid, void** ppOut) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
 public:
  static constexpr const char* kIid = IID_IClassFactory;
  virtual HRESULT CreateInstance(const char* szIid, void** ppOut) = 0;
  virtual HRESULT LockServer(bool bLock) = 0;
};

// Owns one reference to an interface: RAII for AddRef/Release.
template <class T>
class CInterfacePtr final {
 public:
  CInterfacePtr() = default;
  explicit CInterfacePtr(T* pRaw) : m_p(pRaw) {}  // takes over a reference
  CInterfacePtr(const CInterfacePtr&) = delete;
  CInterfacePtr& operator=(const CInterfacePtr&) = delete;
  CInterfacePtr(CInterfacePtr&& oOther) noexcept : m_p(oOther.m_p) { oOther.m_p = nullptr; }
  CInterfacePtr& operator=(CInterfacePtr&& oOther) noexcept {
    if (this != &oOther) {
      Reset();
      m_p = oOther.m_p;
      oOther.m_p = nullptr;
    }
    return *this;
  }
  ~CInterfacePtr() { Reset(); }

  void Reset() {
    if (m_p != nullptr) m_p->Release();
    m_p = nullptr;
  }
  // For out-parameters: releases what is held and gives the slot.
  void** Receive() {
    Reset();
    return reinterpret_cast<void**>(&m_p);
  }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  T* m_p = nullptr;
};

// The Variant: empty, 32-bit integer, truth value or UTF-8 string.
enum EVarType : uint16_t { VT_EMPTY = 0, VT_I4 = 3, VT_BSTR = 8, VT_BOOL = 11 };

class CVariant final {
 public:
  CVariant() = default;
  explicit CVariant(int32_t lValue) : m_eType(VT_I4), m_lValue(lValue) {}
  explicit CVariant(bool bValue) : m_eType(VT_BOOL), m_lValue(bValue ? -1 : 0) {}
  explicit CVariant(std::string sValue) : m_eType(VT_BSTR), m_sValue(std::move(sValue)) {}
  explicit CVariant(const char* szValue) : m_eType(VT_BSTR), m_sValue(szValue ? szValue : "") {}

  EVarType GetType() const { return m_eType; }
  // The 32-bit integer value as held, without conversion (0 for strings and empty).
  int32_t GetInt32() const { return m_lValue; }
  bool GetBool() const { return m_lValue != 0; }
  const std::string& GetString() const { return m_sValue; }
  // Converts the value to a string in place (integers in decimal, truth values "-1"/"0"
  // as the familiar conversion does, empty to ""); false only if it cannot.
  bool ChangeTypeToString();
  void Clear();

 private:
  EVarType m_eType = VT_EMPTY;
  int32_t m_lValue = 0;
  std::string m_sValue;
};

// What a library writes into the class registry for one of its classes.
struct SClassRegistration {
  std::string m_sClsid;              // "{...}"
  std::string m_sDescription;        // "Watcher Class"
  std::string m_sProgId;             // versioned, "Perfwatch.Watcher.1"
  std::string m_sIndependentProgId;  // "Perfwatch.Watcher"
  std::string m_sThreadingModel;     // "Apartment" or "Free"
  std::string m_sTypeLib;            // "{...}" or empty
};

// Writes / removes the class's keys; sLibraryPath is the library's full path.
HRESULT RegisterComponentClass(const SClassRegistration& oClass, const std::string& sLibraryPath);
HRESULT UnregisterComponentClass(const SClassRegistration& oClass);
// Full path of the shared library that holds pAddress (for a library's own registration).
std::string GetLibraryPathOf(const void* pAddress);

// Creates an object by class identifier ("{...}") or ProgID and asks it for szIid.
HRESULT CreateInstance(const std::string& sClsidOrProgId, const char* szIid, void** ppOut);
// Resolves a ProgID (versioned or not) to its class identifier; a "{...}" text is returned as is.
bool ClsidFromProgId(const std::string& sProgId, std::string& sClsid);
// Loads the library and calls its register (or unregister) entry point.
HRESULT RegisterLibrary(const std::string& sLibraryPath, bool bUnregister);
// Unloads every loaded library whose WdxCanUnloadNow answers S_OK; returns how many.
int FreeUnusedLibraries();
// Libraries loaded now (full paths), for tests and diagnostics.
std::vector<std::string> GetLoadedLibraries();
// Text of the last failure of this thread (dlerror, missing entry point, registry error).
const std::string& GetComponentError();
// Records sText as this thread's last failure and writes it to the process log as an error.
void SetComponentError(const std::string& sText);
// True for a class identifier text: "{" 8-4-4-4-12 hexadecimal digits "}".
bool IsGuidText(const std::string& sText);

}  // namespace wdx
