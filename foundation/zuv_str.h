// CZuvStr: the bounded byte string of the foundation library (at most ZUV_MAX_STR_LENGTH bytes
// with its NUL). ASCII case folding, search, trim, split and number conversion. Operations
// report refusals as false and write their error text to the process log; none throws.
//
// Threading: an object is used by one thread at a time.
#pragma once

#include <cstddef>
#include <string>

namespace wdx {

inline constexpr int ZUV_MAX_STR_LENGTH = 2048;

class CZuvStr {
 public:
  CZuvStr();
  explicit CZuvStr(const char* szText);
  CZuvStr(const CZuvStr& oOther);
  CZuvStr& operator=(const CZuvStr& oOther);
  virtual ~CZuvStr();

  bool Assign(const char* szText);
  bool Assign(const CZuvStr& oOther);
  // Wide text (UTF-32 on this platform) converted to UTF-8, then assigned.
  bool AssignWide(const wchar_t* wszText);
  bool operator+=(const char* szText);
  bool operator+=(const CZuvStr& oOther);
  bool operator+=(char cChar);

  int GetLength() const;
  bool IsEmpty() const;
  void Empty();
  // The buffer itself (never null: an empty buffer is allocated when missing).
  char* GetBuffer();
  const char* GetBuffer() const;
  const char* c_str() const { return GetBuffer(); }
  int GetCapacity() const { return m_iCapacity; }

  bool IsEqual(const char* szText) const;
  bool IsEqual(const CZuvStr& oOther) const;
  // Equal ignoring ASCII letter case and leading/trailing trim characters.
  bool EqualsNoCase(const char* szText) const;
  // Index of the first occurrence of szText, -1 if none; case ignored unless bExact.
  int Find(const char* szText, bool bExact = false) const;

  // Results of Left, Mid and EscapeBackslashes live in a scratch area that stays valid until
  // the next such call on the same object.
  const char* Left(int iCount);
  const char* Mid(int iStart);
  const char* Mid(int iStart, int iCount);
  // The object becomes its last iCount characters.
  const char* Right(int iCount);

  const char* TrimLeft();
  const char* TrimRight();
  const char* Trim();
  // Trim characters: every byte whose value is not between 33 and 125.
  static bool IsTrimChar(char cChar);
  // sText without its leading and trailing trim characters.
  static std::string Trimmed(const std::string& sText);

  // oOut = text before the first cDelimiter; this keeps the text after it.
  void SplitAt(char cDelimiter, CZuvStr& oOut);
  int ToInt() const;
  const char* FromInt(int iValue);
  const char* FromUInt(unsigned int uValue);
  const char* MakeUpper();
  const char* EscapeBackslashes();

  // Whether refusals are written to the process log (the service keeps them quiet).
  static void SetReportsEnabled(bool bEnabled);

 private:
  bool Allocate(int iCapacity);
  static int CapacityFor(int iLength);

  char* m_pBuffer = nullptr;
  int m_iCapacity = -1;
  char m_szScratch[1040] = {};
};

}  // namespace wdx
