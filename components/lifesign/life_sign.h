// CLifeSign: the object behind the LifeSign class of the life-sign component, with its writer
// CLifeSignFile. A write creates the file anew (or truncates it) and puts one line into it: the
// seconds since 1 January 1970 00:00 UTC in decimal, without sign or padding, then one LF (no
// CR). Nothing is logged: the out-value is the only report. Failures (no such folder, a folder
// or read-only file at the path, an empty or over-long path) answer 0.
//
// Threading: apartment model; one object is used by one thread. Writers of the same path in
// several objects or processes overwrite each other's line; the last one wins.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "components/lifesign/ilife_sign.h"
#include "foundation/zuv_str.h"
#include "platform/component_module.h"
#include "platform/dispatch_object.h"

namespace wdx {

inline constexpr int LIFE_SIGN_LINE_SIZE = 256;

// Seconds since 1970 now; negative when the clock cannot tell.
using LifeSignClockFn = int64_t (*)();

// The life-sign file writer: its path, its line buffer, and a stream only while it writes.
class CLifeSignFile final {
 public:
  CLifeSignFile() = default;
  CLifeSignFile(const CLifeSignFile&) = delete;
  CLifeSignFile& operator=(const CLifeSignFile&) = delete;

  // Allocates the line buffer; true when it is there.
  bool Prepare();
  // Takes the path for the next write; false when it is missing or too long.
  bool SetPath(const char* szPath);
  // Creates or truncates the file and writes the line; false when the file cannot be made.
  bool Write(int64_t llSeconds);
  const char* GetPath() const { return m_oPath.c_str(); }

 private:
  CZuvStr m_oPath;
  std::unique_ptr<char[]> m_pLine;
};

// ILifeSign with its identifier, as the object template finds interfaces.
class ILifeSignEntry : public ILifeSign {
 public:
  static constexpr const char* kIid = IID_ILifeSign;
};

class CLifeSign final : public CComObject<CLifeSign, ILifeSignEntry, CDispatchEntry<CLifeSign>> {
 public:
  CLifeSign() = default;

  HRESULT ShowLifeSign(const char* pcFilePath, int32_t* pbOK) override;
  HRESULT CreateOrModify(const CVariant& pvFilePath, int32_t* plngResult) override;
  HRESULT DeleteFile(const CVariant& pvFilePath, int32_t* plngResult) override;
  HRESULT Delete(const char* pcFilePath, int32_t* pbOK) override;

  // The automation table: the four methods by name, dispatch identifiers 1-4.
  std::vector<SDispMethod> GetDispatchTable();

  bool IsPrepared() const { return m_bPrepared; }
  // Replaces the clock (tests); nullptr restores the system clock.
  void SetClockForTesting(LifeSignClockFn pfnClock);

 private:
  bool WriteLifeSign(const char* szPath);
  static bool DeletePath(const char* szPath);

  bool m_bPrepared = false;
  CLifeSignFile m_oFile;
  LifeSignClockFn m_pfnClock = nullptr;
};

}  // namespace wdx
