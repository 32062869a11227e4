#include "console/logs/log_reader.h"

#include <algorithm>
#include <fstream>

#include "platform/file_system.h"

namespace wdx {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

struct SLine {
  int64_t m_iOffset;
  std::string_view m_sBytes;
};

// Splits sBuffer, which starts at file offset iBase, into whole lines; iRestOffset receives the
// offset of what follows the last line end (a CR run at the very end is no line end yet).
void SplitLines(std::string_view sBuffer, int64_t iBase, std::vector<SLine>& oLines,
                int64_t& iRestOffset) {
  size_t uLineStart = 0;
  for (size_t i = 0; i < sBuffer.size();) {
    const char c = sBuffer[i];
    size_t uNext = i + 1;
    if (c == '\r') {
      size_t j = i;
      while (j < sBuffer.size() && sBuffer[j] == '\r') ++j;
      if (j == sBuffer.size()) break;
      uNext = sBuffer[j] == '\n' ? j + 1 : j;
    } else if (c != '\n') {
      ++i;
      continue;
    }
    oLines.push_back(
        {iBase + static_cast<int64_t>(uLineStart), sBuffer.substr(uLineStart, i - uLineStart)});
    i = uLineStart = uNext;
  }
  iRestOffset = iBase + static_cast<int64_t>(uLineStart);
}

std::string_view WithoutTrailingCrs(std::string_view sBytes) {
  while (!sBytes.empty() && sBytes.back() == '\r') sBytes.remove_suffix(1);
  return sBytes;
}

// A line as shown: safe text, cut at a character boundary when it is too long.
std::string ShowLine(std::string_view sBytes) {
  if (sBytes.size() <= kLogLineShownBytes) return SafeLogText(sBytes);
  size_t uCut = kLogLineShownBytes;
  for (int i = 0; i < 3 && (static_cast<unsigned char>(sBytes[uCut]) & 0xC0) == 0x80; ++i) --uCut;
  return SafeLogText(sBytes.substr(0, uCut)) + " ... (" + std::to_string(sBytes.size() - uCut) +
         " more bytes)";
}

// Length of the valid UTF-8 sequence at the start of s that is no control character, else 0.
size_t ShowableSequence(std::string_view s) {
  const auto At = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = At(0);
  if (c < 0x80) return (c < 0x20 && c != '\t') || c == 0x7F ? 0 : 1;
  size_t uLength = 0;
  unsigned char cLow = 0x80;
  unsigned char cHigh = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    uLength = 2;
    if (c == 0xC2) cLow = 0xA0;  // U+0080..U+009F are control characters
  } else if (c >= 0xE0 && c <= 0xEF) {
    uLength = 3;
    if (c == 0xE0) cLow = 0xA0;   // overlong
    if (c == 0xED) cHigh = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    uLength = 4;
    if (c == 0xF0) cLow = 0x90;   // overlong
    if (c == 0xF4) cHigh = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < uLength || At(1) < cLow || At(1) > cHigh) return 0;
  for (size_t i = 2; i < uLength; ++i) {
    if ((At(i) & 0xC0) != 0x80) return 0;
  }
  return uLength;
}

// Opens the file; false with bExists false when it is missing, with sError when unreadable.
bool OpenLog(const std::string& sPath, std::ifstream& oFile, int64_t& iSize, bool& bExists,
             std::string& sError) {
  bExists = GetFileSystem().FileExists(sPath);
  if (!bExists) return false;
  oFile.open(sPath, std::ios::binary);
  if (oFile) oFile.seekg(0, std::ios::end);
  iSize = oFile ? static_cast<int64_t>(oFile.tellg()) : -1;
  if (iSize >= 0) return true;
  sError = "cannot read " + sPath;
  return false;
}

bool ReadRange(std::ifstream& oFile, int64_t iFrom, int64_t iTo, std::string& sBytes) {
  sBytes.assign(static_cast<size_t>(iTo - iFrom), '\0');
  oFile.seekg(iFrom);
  oFile.read(sBytes.data(), static_cast<std::streamsize>(sBytes.size()));
  sBytes.resize(static_cast<size_t>(std::max<std::streamsize>(oFile.gcount(), 0)));
  return static_cast<int64_t>(sBytes.size()) == iTo - iFrom;
}

}  // namespace

const char* LogFileOfName(std::string_view sName) {
  if (sName == "console") return "Wardenix.log";
  if (sName == "service") return "WDXSVC.log";
  if (sName == "uptime") return "UpTime.log";
  if (sName == "phone") return "PhoneOuts.log";
  return nullptr;
}

std::string SafeLogText(std::string_view sBytes) {
  std::string sText;
  sText.reserve(sBytes.size());
  while (!sBytes.empty()) {
    const size_t uLength = ShowableSequence(sBytes);
    if (uLength == 0) {
      sText += kReplacement;
      sBytes.remove_prefix(1);
    } else {
      sText.append(sBytes.substr(0, uLength));
      sBytes.remove_prefix(uLength);
    }
  }
  return sText;
}

bool CLogReader::ReadPage(int64_t iBefore, int iLines, SLogPage& oPage, std::string& sError) const {
  oPage = SLogPage{};
  std::ifstream oFile;
  if (!OpenLog(m_sPath, oFile, oPage.m_iSize, oPage.m_bExists, sError)) return !oPage.m_bExists;
  oPage.m_bRotated = iBefore > oPage.m_iSize;
  const bool bAtEnd = iBefore < 0 || oPage.m_bRotated;
  const int64_t iEndAt = bAtEnd ? oPage.m_iSize : iBefore;
  const int64_t iWindowStart = std::max<int64_t>(0, iEndAt - kLogWindowBytes);
  std::string sBuffer;
  if (!ReadRange(oFile, iWindowStart, iEndAt, sBuffer)) {
    sError = "cannot read " + m_sPath;
    return false;
  }
  std::vector<SLine> oLines;
  int64_t iRest = 0;
  SplitLines(sBuffer, iWindowStart, oLines, iRest);
  const std::string_view sRest = std::string_view(sBuffer).substr(iRest - iWindowStart);
  if (bAtEnd) {
    oPage.m_sTail = ShowLine(WithoutTrailingCrs(sRest));
    oPage.m_iEnd = iRest;
  } else {
    if (!sRest.empty()) oLines.push_back({iRest, WithoutTrailingCrs(sRest)});
    oPage.m_iEnd = iEndAt;
  }
  // The window's first line began before it; when it is the only one (a very long line), its
  // part in the window stands for it.
  if (iWindowStart > 0 && oLines.size() > 1) oLines.erase(oLines.begin());
  const size_t uKeep = std::min(oLines.size(), static_cast<size_t>(std::max(iLines, 0)));
  oLines.erase(oLines.begin(), oLines.end() - static_cast<std::ptrdiff_t>(uKeep));
  oPage.m_iStart = oLines.empty() ? oPage.m_iEnd : oLines.front().m_iOffset;
  for (const SLine& oLine : oLines) oPage.m_oLines.push_back(ShowLine(oLine.m_sBytes));
  oPage.m_bMore = oPage.m_iStart > 0;
  return true;
}

bool CLogReader::ReadAfter(int64_t iAfter, SLogPage& oPage, std::string& sError) const {
  oPage = SLogPage{};
  std::ifstream oFile;
  if (!OpenLog(m_sPath, oFile, oPage.m_iSize, oPage.m_bExists, sError)) {
    oPage.m_bRotated = !oPage.m_bExists && iAfter > 0;  // the file went away
    return !oPage.m_bExists;
  }
  oPage.m_bRotated = iAfter > oPage.m_iSize;
  const int64_t iFrom = oPage.m_bRotated ? 0 : std::max<int64_t>(iAfter, 0);
  const int64_t iTo = std::min(oPage.m_iSize, iFrom + kLogWindowBytes);
  std::string sBuffer;
  if (!ReadRange(oFile, iFrom, iTo, sBuffer)) {
    sError = "cannot read " + m_sPath;
    return false;
  }
  std::vector<SLine> oLines;
  int64_t iRest = 0;
  SplitLines(sBuffer, iFrom, oLines, iRest);
  oPage.m_iStart = iFrom;
  oPage.m_iEnd = iRest;
  oPage.m_bMore = iTo < oPage.m_iSize;
  if (oPage.m_bMore && oLines.empty()) {
    // A line longer than one step: this step's part stands for it.
    oLines.push_back({iFrom, sBuffer});
    oPage.m_iEnd = iTo;
  } else if (!oPage.m_bMore) {
    oPage.m_sTail = ShowLine(WithoutTrailingCrs(std::string_view(sBuffer).substr(iRest - iFrom)));
  }
  for (const SLine& oLine : oLines) oPage.m_oLines.push_back(ShowLine(oLine.m_sBytes));
  return true;
}

}  // namespace wdx
