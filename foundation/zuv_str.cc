#include "foundation/zuv_str.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "foundation/process_log.h"

namespace wdx {
namespace {

constexpr int kEmptyCapacity = 260;
constexpr int kScratchSize = 1040;

std::atomic<bool> g_bReportsEnabled{true};

void Report(const char* szText) {
  if (g_bReportsEnabled.load(std::memory_order_relaxed)) ZuvLogError(szText);
}

bool RefuseAssign(const char* szWhy) {
  Report(szWhy);
  Report("CZuvStr::Assign() failed.");
  return false;
}

char FoldCase(char cChar) {
  return (cChar >= 'A' && cChar <= 'Z') ? static_cast<char>(cChar - 'A' + 'a') : cChar;
}

bool SameChar(char cA, char cB, bool bExact) {
  return bExact ? cA == cB : FoldCase(cA) == FoldCase(cB);
}

int TextLength(const char* szText) {
  return szText == nullptr ? 0 : static_cast<int>(std::strlen(szText));
}

// Appends the UTF-8 form of one code point; invalid code points become '?'.
void AppendUtf8(std::string& sOut, unsigned long uCode) {
  if (uCode < 0x80) {
    sOut += static_cast<char>(uCode);
  } else if (uCode < 0x800) {
    sOut += static_cast<char>(0xC0 | (uCode >> 6));
    sOut += static_cast<char>(0x80 | (uCode & 0x3F));
  } else if (uCode < 0x10000 && (uCode < 0xD800 || uCode > 0xDFFF)) {
    sOut += static_cast<char>(0xE0 | (uCode >> 12));
    sOut += static_cast<char>(0x80 | ((uCode >> 6) & 0x3F));
    sOut += static_cast<char>(0x80 | (uCode & 0x3F));
  } else if (uCode >= 0x10000 && uCode <= 0x10FFFF) {
    sOut += static_cast<char>(0xF0 | (uCode >> 18));
    sOut += static_cast<char>(0x80 | ((uCode >> 12) & 0x3F));
    sOut += static_cast<char>(0x80 | ((uCode >> 6) & 0x3F));
    sOut += static_cast<char>(0x80 | (uCode & 0x3F));
  } else {
    sOut += '?';
  }
}

}  // namespace

CZuvStr::CZuvStr() {
  Assign("");
}

CZuvStr::CZuvStr(const char* szText) {
  Assign(szText);
}

CZuvStr::CZuvStr(const CZuvStr& oOther) {
  Assign(oOther.GetBuffer());
}

CZuvStr& CZuvStr::operator=(const CZuvStr& oOther) {
  if (this != &oOther) Assign(oOther.GetBuffer());
  return *this;
}

CZuvStr::~CZuvStr() {
  delete[] m_pBuffer;
}

void CZuvStr::SetReportsEnabled(bool bEnabled) {
  g_bReportsEnabled.store(bEnabled, std::memory_order_relaxed);
}

int CZuvStr::CapacityFor(int iLength) {
  if (iLength < 34) return iLength * 2 > 8 ? iLength * 2 : 8;
  return iLength + 16;
}

// Replaces the buffer by a new blank-filled one holding the empty text. The old buffer is
// freed only after the new one exists, so a failure leaves the object as it was.
bool CZuvStr::Allocate(int iCapacity) {
  char* pNew = new (std::nothrow) char[iCapacity];
  if (pNew == nullptr) return false;
  std::memset(pNew, ' ', iCapacity);
  pNew[0] = '\0';
  delete[] m_pBuffer;
  m_pBuffer = pNew;
  m_iCapacity = iCapacity;
  return true;
}

bool CZuvStr::Assign(const char* szText) {
  const int iLength = TextLength(szText);
  if (iLength + 2 > ZUV_MAX_STR_LENGTH) {
    return RefuseAssign("CZuvStr::Assign() has input string too long.");
  }
  if (iLength == 0) {
    if (m_pBuffer == nullptr) {
      return Allocate(kEmptyCapacity) || RefuseAssign("CZuvStr::Assign() is out of RAM.");
    }
    std::memset(m_pBuffer, ' ', m_iCapacity);
    m_pBuffer[0] = '\0';
    return true;
  }
  if (m_pBuffer != nullptr && iLength + 2 < m_iCapacity) {
    std::memmove(m_pBuffer, szText, iLength);
    m_pBuffer[iLength] = '\0';
    return true;
  }
  // The text may lie inside the old buffer: copy it before the old buffer goes.
  const int iCapacity = CapacityFor(iLength);
  char* pNew = new (std::nothrow) char[iCapacity];
  if (pNew == nullptr) return RefuseAssign("CZuvStr::Assign() is out of RAM.");
  std::memset(pNew, ' ', iCapacity);
  std::memcpy(pNew, szText, iLength);
  pNew[iLength] = '\0';
  delete[] m_pBuffer;
  m_pBuffer = pNew;
  m_iCapacity = iCapacity;
  return true;
}

bool CZuvStr::Assign(const CZuvStr& oOther) {
  if (this == &oOther) return true;
  return Assign(oOther.GetBuffer());
}

bool CZuvStr::AssignWide(const wchar_t* wszText) {
  std::string sNarrow;
  if (wszText != nullptr) {
    for (const wchar_t* p = wszText; *p != L'\0'; ++p) {
      AppendUtf8(sNarrow, static_cast<unsigned long>(*p));
      if (sNarrow.size() > static_cast<size_t>(ZUV_MAX_STR_LENGTH)) break;  // refused anyway
    }
  }
  return Assign(sNarrow.c_str());
}

bool CZuvStr::operator+=(const char* szText) {
  const int iAdded = TextLength(szText);
  const int iLength = GetLength();
  const int iNeeded = iLength + iAdded + 2;
  if (iNeeded > m_iCapacity) {
    if (iNeeded >= ZUV_MAX_STR_LENGTH) {
      Report(
          "CZuvStr::operator+=() was passed in a string that \ris byond max length of "
          "ZUV_MAX_STR_LENGTH.");
      return false;
    }
    char* pNew = new (std::nothrow) char[ZUV_MAX_STR_LENGTH];
    if (pNew == nullptr) {
      Report("CZuvStr::operator+=() is out of RAM.");
      return false;
    }
    std::memset(pNew, ' ', ZUV_MAX_STR_LENGTH);
    if (iLength > 0) std::memcpy(pNew, m_pBuffer, iLength);
    // The added text may lie inside the old buffer, which is still alive here.
    if (iAdded > 0) std::memcpy(pNew + iLength, szText, iAdded);
    pNew[iLength + iAdded] = '\0';
    delete[] m_pBuffer;
    m_pBuffer = pNew;
    m_iCapacity = ZUV_MAX_STR_LENGTH;
    return true;
  }
  if (iAdded > 0) std::memmove(m_pBuffer + iLength, szText, iAdded);
  m_pBuffer[iLength + iAdded] = '\0';
  return true;
}

bool CZuvStr::operator+=(const CZuvStr& oOther) {
  return *this += oOther.GetBuffer();
}

bool CZuvStr::operator+=(char cChar) {
  const char szOne[2] = {cChar, '\0'};
  return *this += szOne;
}

int CZuvStr::GetLength() const {
  if (m_pBuffer == nullptr || m_iCapacity <= 0) return 0;
  return static_cast<int>(strnlen(m_pBuffer, static_cast<size_t>(m_iCapacity)));
}

bool CZuvStr::IsEmpty() const {
  return GetLength() == 0;
}

void CZuvStr::Empty() {
  Assign("");
}

char* CZuvStr::GetBuffer() {
  if (m_pBuffer == nullptr) Assign("");
  if (m_pBuffer == nullptr) {
    static char szNone[1];
    szNone[0] = '\0';
    return szNone;
  }
  return m_pBuffer;
}

const char* CZuvStr::GetBuffer() const {
  return m_pBuffer == nullptr ? "" : m_pBuffer;
}

bool CZuvStr::IsEqual(const char* szText) const {
  return std::strcmp(GetBuffer(), szText == nullptr ? "" : szText) == 0;
}

bool CZuvStr::IsEqual(const CZuvStr& oOther) const {
  return IsEqual(oOther.GetBuffer());
}

bool CZuvStr::EqualsNoCase(const char* szText) const {
  CZuvStr oMine(GetBuffer());
  CZuvStr oTheirs(szText);
  oMine.Trim();
  oTheirs.Trim();
  if (oMine.IsEmpty() && oTheirs.IsEmpty()) return true;
  return oMine.Find(oTheirs.GetBuffer(), false) >= 0 && oMine.GetLength() == oTheirs.GetLength();
}

int CZuvStr::Find(const char* szText, bool bExact) const {
  const int iWanted = TextLength(szText);
  const int iLength = GetLength();
  if (iWanted == 0 || iLength == 0) return -1;
  const char* szMine = GetBuffer();
  for (int iStart = 0; iStart + iWanted <= iLength; ++iStart) {
    int iMatched = 0;
    while (iMatched < iWanted && SameChar(szMine[iStart + iMatched], szText[iMatched], bExact)) {
      ++iMatched;
    }
    if (iMatched == iWanted) return iStart;
  }
  return -1;
}

const char* CZuvStr::Left(int iCount) {
  const int iLength = GetLength();
  int iTake = iCount < 0 ? 0 : (iCount > iLength ? iLength : iCount);
  if (iTake > kScratchSize - 1) iTake = kScratchSize - 1;
  std::memcpy(m_szScratch, GetBuffer(), iTake);
  m_szScratch[iTake] = '\0';
  return m_szScratch;
}

const char* CZuvStr::Mid(int iStart) {
  return Mid(iStart, GetLength());
}

const char* CZuvStr::Mid(int iStart, int iCount) {
  const int iLength = GetLength();
  if (iStart < 0) iStart = 0;
  int iTake = 0;
  if (iStart < iLength) {
    const int iRest = iLength - iStart;
    iTake = iCount <= 0 ? 1 : (iCount > iRest ? iRest : iCount);
  }
  if (iTake > kScratchSize - 1) iTake = kScratchSize - 1;
  if (iTake > 0) std::memcpy(m_szScratch, GetBuffer() + iStart, iTake);
  m_szScratch[iTake] = '\0';
  return m_szScratch;
}

const char* CZuvStr::Right(int iCount) {
  char* pBuffer = GetBuffer();
  const int iLength = GetLength();
  if (iCount >= iLength) return pBuffer;
  if (iCount < 0) iCount = 0;
  std::memmove(pBuffer, pBuffer + iLength - iCount, iCount);
  pBuffer[iCount] = '\0';
  return pBuffer;
}

bool CZuvStr::IsTrimChar(char cChar) {
  const unsigned char uChar = static_cast<unsigned char>(cChar);
  return uChar < 33 || uChar > 125;
}

std::string CZuvStr::Trimmed(const std::string& sText) {
  size_t uBegin = 0;
  size_t uEnd = sText.size();
  while (uBegin < uEnd && IsTrimChar(sText[uBegin])) ++uBegin;
  while (uEnd > uBegin && IsTrimChar(sText[uEnd - 1])) --uEnd;
  return sText.substr(uBegin, uEnd - uBegin);
}

const char* CZuvStr::TrimLeft() {
  char* pBuffer = GetBuffer();
  const int iLength = GetLength();
  int iSkip = 0;
  while (iSkip < iLength && IsTrimChar(pBuffer[iSkip])) ++iSkip;
  if (iSkip > 0) {
    std::memmove(pBuffer, pBuffer + iSkip, iLength - iSkip);
    pBuffer[iLength - iSkip] = '\0';
  }
  return pBuffer;
}

const char* CZuvStr::TrimRight() {
  char* pBuffer = GetBuffer();
  int iLength = GetLength();
  while (iLength > 0 && IsTrimChar(pBuffer[iLength - 1])) --iLength;
  pBuffer[iLength] = '\0';
  return pBuffer;
}

const char* CZuvStr::Trim() {
  TrimRight();
  return TrimLeft();
}

void CZuvStr::SplitAt(char cDelimiter, CZuvStr& oOut) {
  if (&oOut == this) return;
  const char* szMine = GetBuffer();
  const char* pFound = cDelimiter == '\0' ? nullptr : std::strchr(szMine, cDelimiter);
  if (pFound == nullptr) {
    oOut.Assign(szMine);
    Empty();
    return;
  }
  const std::string sBefore(szMine, static_cast<size_t>(pFound - szMine));
  oOut.Assign(sBefore.c_str());
  const std::string sAfter(pFound + 1);
  Assign(sAfter.c_str());
}

int CZuvStr::ToInt() const {
  const char* p = GetBuffer();
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  bool bNegative = false;
  if (*p == '+' || *p == '-') {
    bNegative = *p == '-';
    ++p;
  }
  long long llValue = 0;
  while (*p >= '0' && *p <= '9') {
    if (llValue <= static_cast<long long>(INT_MAX) + 1) llValue = llValue * 10 + (*p - '0');
    ++p;
  }
  if (bNegative) llValue = -llValue;
  if (llValue > INT_MAX) return INT_MAX;
  if (llValue < INT_MIN) return INT_MIN;
  return static_cast<int>(llValue);
}

const char* CZuvStr::FromInt(int iValue) {
  char szDigits[16];
  std::snprintf(szDigits, sizeof(szDigits), "%d", iValue);
  Assign(szDigits);
  return GetBuffer();
}

const char* CZuvStr::FromUInt(unsigned int uValue) {
  char szDigits[16];
  std::snprintf(szDigits, sizeof(szDigits), "%u", uValue);
  Assign(szDigits);
  return GetBuffer();
}

const char* CZuvStr::MakeUpper() {
  char* pBuffer = GetBuffer();
  for (char* p = pBuffer; *p != '\0'; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
  return pBuffer;
}

const char* CZuvStr::EscapeBackslashes() {
  const char* szMine = GetBuffer();
  int iOut = 0;
  for (const char* p = szMine; *p != '\0'; ++p) {
    const bool bSlash = *p == '/' || *p == '\\';
    const int iNeed = bSlash ? 2 : 1;
    if (iOut + iNeed > kScratchSize - 1) break;
    if (bSlash) {
      m_szScratch[iOut++] = '\\';
      m_szScratch[iOut++] = '\\';
    } else {
      m_szScratch[iOut++] = *p;
    }
  }
  m_szScratch[iOut] = '\0';
  return m_szScratch;
}

}  // namespace wdx
