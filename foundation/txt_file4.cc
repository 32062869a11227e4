#include "foundation/txt_file4.h"

#include <cstring>
#include <new>

#include "foundation/process_log.h"
#include "platform/debug_output.h"
#include "platform/file_system.h"

namespace wdx {
namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';

}  // namespace

CTxtFile4::CTxtFile4() : CTxtFile4(DefaultTexts()) {}

CTxtFile4::CTxtFile4(const STexts& oTexts) : m_oTexts(oTexts) {}

CTxtFile4::~CTxtFile4() {
  Close();
}

void CTxtFile4::SFileCloser::operator()(FILE* pFile) const {
  if (pFile != nullptr) std::fclose(pFile);
}

void CTxtFile4::Report(const char* szText) const {
  if (m_bQuiet) {
    DebugOutput(szText);
  } else {
    ZuvLogError(szText);
  }
}

bool CTxtFile4::Initialize(int iSize) {
  m_iLineBufferSize = iSize;
  if (iSize <= 0) ZuvLogError(m_oTexts.szInitZero);
  m_bInitialized = false;
  m_pLineBuffer.reset();
  const size_t uBytes = iSize > 0 ? static_cast<size_t>(iSize) + 1 : 1;
  m_pLineBuffer.reset(new (std::nothrow) char[uBytes]);
  if (!m_pLineBuffer) {
    ZuvLogError(m_oTexts.szInitNoRam);
    return false;
  }
  std::memset(m_pLineBuffer.get(), 0, uBytes);
  m_bInitialized = true;
  return true;
}

bool CTxtFile4::IsLive() const {
  if (!m_bInitialized) {
    ZuvLogError(m_oTexts.szNotInitialized);
    return false;
  }
  return true;
}

const char* CTxtFile4::GetLineBuffer() const {
  return m_pLineBuffer ? m_pLineBuffer.get() : "";
}

bool CTxtFile4::OpenWithMode(const char* szPath, const char* szMode, const char* szFailText) {
  if (!IsLive()) return false;
  Close();
  std::strncpy(m_szMode, szMode, sizeof(m_szMode) - 1);
  const size_t uLength = szPath == nullptr ? 0 : std::strlen(szPath);
  if (uLength == 0 || uLength >= sizeof(m_szPath)) {
    m_szPath[0] = '\0';
    if (szFailText != nullptr) Report(szFailText);
    return false;
  }
  std::memcpy(m_szPath, szPath, uLength + 1);
  m_pStream.reset(std::fopen(m_szPath, m_szMode));
  m_bOpen = m_pStream != nullptr;
  if (!m_bOpen && szFailText != nullptr) Report(szFailText);
  return m_bOpen;
}

bool CTxtFile4::OpenForReadOnly(const char* szPath) {
  return OpenWithMode(szPath, "rb", m_oTexts.szOpenReadOnly);
}

bool CTxtFile4::OpenForReadOnlyQuietly(const char* szPath) {
  return OpenWithMode(szPath, "rb", nullptr);
}

bool CTxtFile4::OpenForReadWrite(const char* szPath) {
  return OpenWithMode(szPath, "r+b", m_oTexts.szOpenReadWrite);
}

bool CTxtFile4::ReOpenForReadAppend(const char* szPath) {
  return OpenWithMode(szPath, "a+b", m_oTexts.szOpenReadAppend);
}

bool CTxtFile4::Create(const char* szPath) {
  return OpenWithMode(szPath, "w+b", m_oTexts.szCreate);
}

bool CTxtFile4::ReadCharForward() {
  // One object is used by one thread at a time: the stream needs no lock per character.
  const int iChar = m_pStream ? getc_unlocked(m_pStream.get()) : EOF;
  if (iChar != EOF) {
    m_cLastChar = static_cast<char>(iChar);
    return true;
  }
  NoMoreChars();
  return false;
}

void CTxtFile4::NoMoreChars() {
  if (m_pStream && std::ferror(m_pStream.get()) == 0) {
    m_bEof = true;
  } else {
    m_bReadError = true;
    Report(m_oTexts.szReadChar);
  }
}

char CTxtFile4::DecodeChar(char cRaw, int /*iColumn*/) {
  return cRaw;
}

bool CTxtFile4::ReadTextLine() {
  m_bEof = false;
  m_bReadError = false;
  if (m_pLineBuffer) m_pLineBuffer[0] = '\0';
  if (!m_bInitialized) return false;
  if (!m_bOpen) {
    Report(m_oTexts.szReadNotOpen);
    return false;
  }
  // The loop reads the stream itself and keeps its state in locals, so that a character costs
  // no call: a report reads a large UpTime.log many times over.
  FILE* const pStream = m_pStream.get();
  const bool bDecodes = DecodesText();
  char* const pBuffer = m_pLineBuffer.get();
  int iWrite = -1;
  bool bCrSeen = false;
  bool bLfSeen = false;
  for (;;) {
    const int iChar = pStream != nullptr ? getc_unlocked(pStream) : EOF;
    if (iChar == EOF) {
      NoMoreChars();
      break;
    }
    const char cChar = static_cast<char>(iChar);
    m_cLastChar = cChar;
    bool bEndOfLine = false;
    if (cChar == kCr) {
      if (!bLfSeen) {
        bCrSeen = true;
        continue;
      }
      bEndOfLine = true;
    } else if (cChar == kLf) {
      if (!bCrSeen) {
        bLfSeen = true;
        continue;
      }
      bEndOfLine = true;
    }
    ++iWrite;
    if (iWrite >= m_iLineBufferSize && !bEndOfLine) {
      Report(m_oTexts.szOverflow);
      m_bReadError = true;
      iWrite = m_iLineBufferSize;
    }
    if (bEndOfLine || m_bReadError) {
      pBuffer[iWrite] = '\0';
      return !m_bReadError;
    }
    pBuffer[iWrite] = bDecodes ? DecodeChar(cChar, iWrite) : cChar;
  }
  // The end of the file or a failed read: the text ends after the last stored character.
  pBuffer[iWrite + 1] = '\0';
  if (m_bEof) return iWrite >= 1;
  return !m_bReadError;
}

bool CTxtFile4::WriteRaw(const char* pData, size_t uLength) {
  if (!m_bOpen) return false;
  if (uLength == 0) return true;
  return std::fwrite(pData, 1, uLength, m_pStream.get()) == uLength;
}

bool CTxtFile4::WriteTextLine(const char* szText) {
  if (!m_bOpen) return false;
  const bool bText =
      WriteRaw(szText == nullptr ? "" : szText, szText == nullptr ? 0 : std::strlen(szText));
  const bool bEnd = WriteRaw("\r\n", 2);
  return bText && bEnd;
}

bool CTxtFile4::AppendWhole(const std::string& sBytes) {
  if (!m_bOpen) return false;
  return GetFileSystem().AppendWhole(m_pStream.get(), sBytes);
}

int64_t CTxtFile4::GetOpenFileSize() {
  if (!m_bOpen) return -1;
  return GetFileSystem().StreamFileSize(m_pStream.get());
}

bool CTxtFile4::Flush() {
  return m_pStream && std::fflush(m_pStream.get()) == 0;
}

bool CTxtFile4::Close() {
  if (!m_pStream) {
    m_bOpen = false;
    return true;
  }
  if (std::fflush(m_pStream.get()) != 0) DebugOutput("CTxtFile4::Close() flush failed");
  const int iResult = std::fclose(m_pStream.release());
  m_bOpen = false;
  if (iResult != 0) {
    DebugOutput("CTxtFile4::Close() failed");
    return false;
  }
  return true;
}

bool CTxtFile4::Delete(const char* szPath) {
  Close();
  return szPath != nullptr && std::remove(szPath) == 0;
}

const CTxtFile4::STexts& CTxtFile4::DefaultTexts() {
  static const STexts oTexts = {
      "CTxtFile4::Initialize found ZERO line buffer param.",
      "CTxtFile4::Initialize is out of RAM for LineBuffer",
      "CTxtFile4 object is not properly initialized.",
      "CTxtFile4::ReadTextLine called but file is not open.",
      "CTxtFile4::ReadTextLine has buffer overflow.",
      "CTxtFile4::ReadCharForward cannot read a char.",
      "CTxtFile4::OpenForReadOnly cannot find its file.",
      "CTxtFile4::OpenForReadWrite cannot open its file.",
      "CTxtFile4::ReOpenForReadAppend cannot open its file.",
      "CTxtFile4::Create cannot create its file.",
  };
  return oTexts;
}

}  // namespace wdx
