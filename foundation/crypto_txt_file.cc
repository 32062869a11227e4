#include "foundation/crypto_txt_file.h"

#include "foundation/process_log.h"
#include "foundation/scramble_table.h"

namespace wdx {
namespace {

constexpr int kFirstStorable = 32;
constexpr int kLastStorable = 126;

// The table as bytes, looked up once.
const unsigned char* TableBytes() {
  static const auto* pTable = reinterpret_cast<const unsigned char*>(GetScrambleTable());
  return pTable;
}

unsigned char FoldCase(unsigned char cChar) {
  return (cChar >= 'a' && cChar <= 'z') ? static_cast<unsigned char>(cChar - 'a' + 'A') : cChar;
}

}  // namespace

CCryptoTxtfile::CCryptoTxtfile() : CTxtFile4(CryptoTexts()) {}

CCryptoTxtfile::~CCryptoTxtfile() = default;

bool CCryptoTxtfile::Initialize(int iSize) {
  m_iLineCounter = 0;
  return CTxtFile4::Initialize(iSize);
}

int CCryptoTxtfile::KeyAt(int64_t iPosition) {
  if (iPosition < 0) return 0;
  const int64_t iIndex = iPosition <= 2000 ? iPosition : iPosition % 2000;
  if (iIndex >= SCRAMBLE_TABLE_LENGTH) return 0;
  return TableBytes()[iIndex];
}

unsigned char CCryptoTxtfile::Scramble(unsigned char cChar, int64_t iPosition) {
  int iResult = KeyAt(iPosition) + cChar;
  if (iResult >= 193) iResult -= 160;
  return static_cast<unsigned char>(iResult);
}

unsigned char CCryptoTxtfile::Unscramble(unsigned char cByte, int64_t iPosition) {
  const int iKey = KeyAt(iPosition);
  const int iByte = cByte;
  return static_cast<unsigned char>(iKey > iByte - 32 ? iByte + 160 - iKey : iByte - iKey);
}

int64_t CCryptoTxtfile::LineStart() const {
  return static_cast<int64_t>(m_iLineCounter) * GetLineBufferSize();
}

char CCryptoTxtfile::DecodeChar(char cRaw, int iColumn) {
  return static_cast<char>(Unscramble(static_cast<unsigned char>(cRaw), LineStart() + iColumn));
}

bool CCryptoTxtfile::ReadTextLine() {
  const bool bWasOpen = IsOpen();
  const bool bRead = CTxtFile4::ReadTextLine();
  if (bWasOpen) ++m_iLineCounter;
  return bRead;
}

bool CCryptoTxtfile::ScrambleLine(const char* szText, std::string& sOut) const {
  const int64_t iStart = LineStart();
  for (int64_t j = 0; szText != nullptr && szText[j] != '\0'; ++j) {
    const auto cChar = static_cast<unsigned char>(szText[j]);
    const unsigned char cByte = Scramble(cChar, iStart + j);
    const unsigned char cBack = Unscramble(cByte, iStart + j);
    // Outside 32..126 a character may survive the round trip at some positions (or be written
    // raw where the key is 0, CR and LF included), so it is refused everywhere.
    const bool bStorable = cChar >= kFirstStorable && cChar <= kLastStorable;
    if (!bStorable || FoldCase(cBack) != FoldCase(cChar)) {
      ZuvLogError("CCryptoTxtfile::Append failed.");
      return false;
    }
    sOut += static_cast<char>(cByte);
  }
  return true;
}

bool CCryptoTxtfile::AppendToText(const char* szText, std::string& sOut) {
  const bool bWhole = ScrambleLine(szText, sOut);
  sOut += "\r\n";
  ++m_iLineCounter;
  return bWhole;
}

bool CCryptoTxtfile::Append(const char* szText) {
  std::string sLine;
  const bool bWhole = AppendToText(szText, sLine);
  const bool bWritten = WriteRaw(sLine.data(), sLine.size());
  return bWhole && bWritten;
}

const CTxtFile4::STexts& CCryptoTxtfile::CryptoTexts() {
  static const STexts oTexts = {
      "CCryptoTxtfile::Initialize found ZERO line buffer param.",
      "CCryptoTxtfile::Initialize is out of RAM for LineBuffer",
      "CCryptoTxtfile object is not properly initialized.",
      "CCryptoTxtfile::ReadTextLine called but file is not open.",
      "CCryptoTxtfile::ReadTextLine has buffer overflow.",
      "CCryptoTxtfile::ReadCharForward cannot read a char.",
      "CCryptoTxtfile::OpenForReadOnly cannot find its file.",
      "CCryptoTxtfile::OpenForReadWrite cannot find its file.",
      "CCryptoTxtfile::OpenForReadWrite cannot find its file.",
      "CCryptoTxtfile::Create cannot create its file.",
  };
  return oTexts;
}

}  // namespace wdx
