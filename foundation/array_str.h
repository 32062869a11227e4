// CArrayStr: a fixed table of fixed-width, NUL-terminated strings with a current index and a
// "next" cursor for filling it in order. Element width is iStrLen + 1 when iStrLen < 31,
// otherwise iStrLen; an element holds at most width - 1 characters (longer texts are cut).
// Refusals return false or nullptr and write their text to the process log.
//
// Threading: an object is used by one thread at a time; callers guard sharing.
#pragma once

#include <memory>

#include "foundation/zuv_base.h"

namespace wdx {

inline constexpr int ZUV_ID_ARRAY_STR = 1002;

class CArrayStr final : public CZuvBase {
 public:
  CArrayStr() = default;
  ~CArrayStr() override = default;

  // Allocates iSize elements for texts of iStrLen characters (see the width rule above) and
  // clears them. May be called again; the old content is discarded.
  bool Initialize(int iSize, int iStrLen, int iSpare = 1);
  bool IsLive() const override;

  // Zeroes every element; no element is used and the next cursor starts over.
  void Clear();
  // Sets the current index and the next cursor; -1 starts before the first element.
  bool RePosition(int iNdx);
  // The element text, nullptr when not live or out of range. Sets the current index.
  char* GetAt(int iIndex);
  bool SetAt(int iIndex, const char* szText);
  // Writes the element after the next cursor; false with a report when the table is full.
  bool SetNext(const char* szText);
  bool SetFirst(const char* szText);

  int GetSize() const { return m_iSize; }
  int GetElementWidth() const { return m_iWidth; }
  // Number of used elements: the highest index written + 1.
  int GetUsedCount() const { return m_iHighest + 1; }
  int GetCurrentIndex() const { return m_iCurrent; }
  bool IsInitialized() const { return m_bInitialized; }
  int GetSpare() const { return m_iSpare; }

 private:
  static int WidthFor(int iStrLen) { return iStrLen < 31 ? iStrLen + 1 : iStrLen; }

  std::unique_ptr<char[]> m_pStorage;
  int m_iSize = 0;
  int m_iWidth = 0;
  int m_iSpare = 1;
  bool m_bInitialized = false;
  int m_iCurrent = -1;
  int m_iHighest = -1;
  int m_iNext = -1;
};

}  // namespace wdx
