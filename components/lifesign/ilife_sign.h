// ILifeSign: the interface of the life-sign component (library ZuvLifeSign.so, class LifeSign).
// A script or program shows that it is alive by writing a small life-sign file that holds the
// current time, and removes the file again. Every method returns S_OK (but for a path Variant
// that cannot be turned into text) and reports through its out-value, in two conventions: the
// plain-string methods answer 1 or 0, the Variant methods -1 or 0.
//
// Threading: apartment model; each caller uses its own LifeSign from one thread.
#pragma once

#include <cstdint>

#include "platform/component.h"

namespace wdx {

inline constexpr const char* CLSID_LifeSign = "{BFD93522-3934-41A1-9F20-C69FEE56BC44}";
inline constexpr const char* IID_ILifeSign = "{25D50EFE-19D4-4917-AB6D-90FF7A45CAC2}";
inline constexpr const char* LIBID_ZuvLifeSign = "{C4BA5393-89FC-4DCF-9B94-13A43E7F288D}";
inline constexpr const char* PROGID_LifeSign = "ZuvLifeSign.LifeSign";
inline constexpr const char* PROGID_LifeSign1 = "ZuvLifeSign.LifeSign.1";

class ILifeSign : public IUnknown {
 public:
  // Writes the life-sign file: *pbOK 1 when written, 0 otherwise.
  virtual HRESULT ShowLifeSign(const char* pcFilePath, int32_t* pbOK) = 0;
  // Writes the life-sign file: *plngResult -1 when written, 0 otherwise.
  virtual HRESULT CreateOrModify(const CVariant& pvFilePath, int32_t* plngResult) = 0;
  // Deletes the file: *plngResult -1 when deleted, 0 otherwise.
  virtual HRESULT DeleteFile(const CVariant& pvFilePath, int32_t* plngResult) = 0;
  // Deletes the file: *pbOK 1 when deleted, 0 otherwise.
  virtual HRESULT Delete(const char* pcFilePath, int32_t* pbOK) = 0;
};

}  // namespace wdx
