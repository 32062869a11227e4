#include "components/report/channel.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/process_log.h"

namespace wdx {
namespace {

constexpr size_t kTailLength = 16;
constexpr char kCr = '\r';
constexpr char kLf = '\n';

void KeepTail(std::string& sTail, char cChar) {
  sTail += cChar;
  if (sTail.size() > kTailLength) sTail.erase(0, sTail.size() - kTailLength);
}

// 1 for a line ending in "UP", 0 for "DN", -1 for anything else.
int32_t StateOfEnding(const std::string& sTail) {
  size_t uEnd = sTail.size();
  while (uEnd > 0 && CZuvStr::IsTrimChar(sTail[uEnd - 1])) --uEnd;
  if (uEnd < 2) return -1;
  const std::string_view sLast(sTail.data() + uEnd - 2, 2);
  if (sLast == "DN") return 0;
  if (sLast == "UP") return 1;
  return -1;
}

// The number in field iField of sText split at cSeparator; 0 when the text has no separator
// or the field is missing.
int32_t FieldNumber(const std::string& sText, char cSeparator, int iField) {
  if (sText.find(cSeparator) == std::string::npos) return 0;
  size_t uStart = 0;
  for (int iAt = 0; iAt < iField; ++iAt) {
    uStart = sText.find(cSeparator, uStart);
    if (uStart == std::string::npos) return 0;
    ++uStart;
  }
  int32_t lValue = 0;
  for (size_t uAt = uStart;
       uAt < sText.size() && std::isdigit(static_cast<unsigned char>(sText[uAt])); ++uAt) {
    lValue = lValue * 10 + (sText[uAt] - '0');
  }
  return lValue;
}

template <class T>
void FreeStack(CPointerStack& oStack) {
  while (void* pEntry = oStack.Pop()) delete static_cast<T*>(pEntry);
  oStack.Initialize(ZUV_DEFAULT_STACK_SIZE);
}

template <class T>
T& EntryAt(CPointerStack& oStack, int iIndex) {
  return *static_cast<T*>(oStack.GetPointer(iIndex));
}

std::string DateText(const SLocalTime& oParts) {
  return std::to_string(oParts.m_iMonth) + "/" + std::to_string(oParts.m_iDay) + "/" +
         std::to_string(oParts.m_iYear);
}

std::string TimeText(const SLocalTime& oParts) {
  return std::to_string(oParts.m_iHour) + ":" + std::to_string(oParts.m_iMinute);
}

}  // namespace

struct CChannel::SLineText {
  std::string m_sText;  // as read, cut at the line buffer's size
  std::string m_sTail;  // the last characters of the whole line
};

CChannel::~CChannel() {
  EmptyLists();
}

void CChannel::EmptyLists() {
  FreeStack<int32_t>(m_oMinutes);
  FreeStack<int32_t>(m_oStates);
  FreeStack<std::string>(m_oDates);
  FreeStack<std::string>(m_oTimes);
}

bool CChannel::ReInitialize(int32_t lType, const std::string& sDescription,
                            const std::string& sPath, const SDateTime& oStart,
                            const SDateTime& oEnd) {
  m_bLoaded = false;
  m_lType = lType;
  m_oDescription.Assign(sDescription.c_str());
  m_oInputFile.Assign(sPath.c_str());
  EmptyLists();
  m_sCurrentDate.clear();
  m_sCurrentTime.clear();
  m_bTakeAll = !oStart.IsValid();
  m_bReferenceSet = !m_bTakeAll;
  if (!m_bTakeAll) {
    m_oStart = oStart;
    m_oReference.SetValue(oStart);
  }
  const bool bEndUsable =
      oEnd.IsValid() && (m_bTakeAll || WholeMinutesBetween(oStart.m_dDays, oEnd.m_dDays) >= 1);
  m_oEnd = bEndUsable ? oEnd : LocalNow();
  m_lMinutesToEnd = 0;
  if (m_bReferenceSet && m_oEnd.IsValid()) m_lMinutesToEnd = m_oReference.MinutesTo(m_oEnd);
  if (LoadData()) {
    m_bLoaded = true;
  } else {
    EmptyLists();
    m_oFirstStamp.Empty();
    ZuvLogError("CChannel::ReInitialize() failed.");
  }
  return m_bLoaded;
}

bool CChannel::LoadData() {
  m_oFirstStamp.Empty();
  m_bThinned = false;
  m_bFull = false;
  m_iUnendedLines = 0;
  m_lLastMinutes = 0;
  CTxtFile4 oFile;
  if (!oFile.Initialize(CHANNEL_LINE_BUFFER_SIZE)) return false;
  if (!oFile.OpenForReadOnly(m_oInputFile.GetBuffer())) return false;
  m_sTypeMarker = "(event): " + std::to_string(m_lType);
  if (!SkipFirstLine(oFile)) {
    ZuvLogError("CChannel::LoadData(): UpTime.log is empty or lacks CR,LF line terminators..");
    return false;
  }
  SLineText oLine;
  while (!m_bFull && ReadLine(oFile, oLine)) ExamineLine(oLine);
  if (m_iUnendedLines > 0) {
    const std::string sText =
        "CChannel::LoadData() skipped lines of the item that end in neither UP nor DN: " +
        std::to_string(m_iUnendedLines);
    ZuvLogMessage(sText.c_str());
  }
  return true;
}

bool CChannel::SkipFirstLine(CTxtFile4& oFile) {
  bool bCrSeen = false;
  while (oFile.ReadCharForward()) {
    const char cChar = oFile.GetLastChar();
    if (cChar == kLf && bCrSeen) return true;
    bCrSeen = cChar == kCr;
  }
  return false;
}

bool CChannel::ReadLine(CTxtFile4& oFile, SLineText& oLine) {
  const bool bRead = oFile.ReadTextLine();
  oLine.m_sText = oFile.GetLineBuffer();
  oLine.m_sTail.assign(oLine.m_sText,  // into the kept buffer: no allocation per line
                       oLine.m_sText.size() - std::min(oLine.m_sText.size(), kTailLength));
  if (bRead) return true;
  if (!oFile.IsReadError()) return false;  // the end of the file
  ZuvLogError("CChannel::LoadData() had a file read error on one line..");
  ZuvLogMessage("Each line of UpTime.log should have a terminor sequence of CR,LF.");
  // The rest of an over-long line belongs to it: read on to its end, keeping its last characters.
  KeepTail(oLine.m_sTail, oFile.GetLastChar());
  bool bCrSeen = false;
  bool bLfSeen = false;
  while (oFile.ReadCharForward()) {
    const char cChar = oFile.GetLastChar();
    if (cChar == kCr || cChar == kLf) {
      if ((cChar == kCr && bLfSeen) || (cChar == kLf && bCrSeen)) return true;
      (cChar == kCr ? bCrSeen : bLfSeen) = true;
      continue;
    }
    KeepTail(oLine.m_sTail, cChar);
  }
  return !oFile.IsReadError();  // a last line without its end is still examined
}

void CChannel::ExamineLine(const SLineText& oLine) {
  const std::string& sText = oLine.m_sText;
  if (sText.find(m_sTypeMarker) == std::string::npos) return;
  if (sText.find(m_oDescription.GetBuffer()) == std::string_view::npos) return;
  const int32_t lState = StateOfEnding(oLine.m_sTail);
  if (lState < 0) {
    ++m_iUnendedLines;
    return;
  }
  const std::string sStamp = CZuvStr::Trimmed(sText.substr(0, sText.find('(')));
  CZuvTime oStamp;
  if (!oStamp.SetStartTime(sStamp.c_str())) return;
  const SDateTime& oTime = oStamp.GetValue();
  if (!m_bTakeAll && oTime.m_dDays < m_oStart.m_dDays) return;
  if (!m_bReferenceSet) {
    // Without a valid start the first point in the window becomes the reference.
    if (m_oEnd.IsValid() && WholeMinutesBetween(oTime.m_dDays, m_oEnd.m_dDays) < 0) return;
    m_oReference.SetValue(oTime);
    m_bReferenceSet = true;
    if (m_oEnd.IsValid()) m_lMinutesToEnd = m_oReference.MinutesTo(m_oEnd);
  }
  int32_t lMinutes = m_oReference.MinutesTo(oTime);
  if (m_lMinutesToEnd != 0 && m_lMinutesToEnd < lMinutes) return;
  if (GetCount() > 0) lMinutes = std::max(lMinutes, m_lLastMinutes);
  if (!AppendPoint(lMinutes, lState, oStamp.GetParts())) return;
  m_lLastMinutes = lMinutes;
  if (m_oFirstStamp.IsEmpty()) m_oFirstStamp.Assign(sStamp.c_str());
}

bool CChannel::AppendPoint(int32_t lMinutes, int32_t lState, const SLocalTime& oParts) {
  if (m_oMinutes.GetCount() >= m_oMinutes.GetCapacity()) {
    bool bPlaced = false;
    if (MakeRoom(lMinutes, lState, oParts, bPlaced) && bPlaced) return true;
  }
  auto pMinutes = std::make_unique<int32_t>(lMinutes);
  if (!m_oMinutes.Push(pMinutes.get())) {
    m_bFull = true;  // the stack reported it; the series ends here
    return false;
  }
  pMinutes.release();  // the list owns it now
  m_oStates.Push(new int32_t(lState));
  m_oDates.Push(new std::string(DateText(oParts)));
  m_oTimes.Push(new std::string(TimeText(oParts)));
  return true;
}

bool CChannel::MakeRoom(int32_t lMinutes, int32_t lState, const SLocalTime& oParts, bool& bPlaced) {
  const int iCount = m_oMinutes.GetCount();
  if (iCount >= 2 && EntryAt<int32_t>(m_oStates, iCount - 1) == lState &&
      EntryAt<int32_t>(m_oStates, iCount - 2) == lState) {
    EntryAt<int32_t>(m_oMinutes, iCount - 1) = lMinutes;
    EntryAt<std::string>(m_oDates, iCount - 1) = DateText(oParts);
    EntryAt<std::string>(m_oTimes, iCount - 1) = TimeText(oParts);
    bPlaced = true;
    return true;
  }
  Thin();
  return m_oMinutes.GetCount() < m_oMinutes.GetCapacity();
}

void CChannel::Thin() {
  if (!m_bThinned) {
    ZuvLogMessage(
        "CChannel::LoadData() holds 4096 points: each run of one state keeps its first and last "
        "point.");
    m_bThinned = true;
  }
  const int iCount = m_oMinutes.GetCount();
  std::vector<void*> aMinutes, aStates, aDates, aTimes;
  std::vector<int32_t> aStateValues;
  for (int iAt = 0; iAt < iCount; ++iAt) {
    aMinutes.push_back(m_oMinutes.GetPointer(iAt));
    aStates.push_back(m_oStates.GetPointer(iAt));
    aDates.push_back(m_oDates.GetPointer(iAt));
    aTimes.push_back(m_oTimes.GetPointer(iAt));
    aStateValues.push_back(*static_cast<int32_t*>(aStates.back()));
  }
  for (CPointerStack* pStack : {&m_oMinutes, &m_oStates, &m_oDates, &m_oTimes}) {
    pStack->Initialize(ZUV_DEFAULT_STACK_SIZE);
  }
  for (int iAt = 0; iAt < iCount; ++iAt) {
    const bool bKeep = iAt == 0 || iAt == iCount - 1 ||
                       aStateValues[iAt] != aStateValues[iAt - 1] ||
                       aStateValues[iAt] != aStateValues[iAt + 1];
    if (bKeep) {
      m_oMinutes.Push(aMinutes[iAt]);
      m_oStates.Push(aStates[iAt]);
      m_oDates.Push(aDates[iAt]);
      m_oTimes.Push(aTimes[iAt]);
    } else {
      delete static_cast<int32_t*>(aMinutes[iAt]);
      delete static_cast<int32_t*>(aStates[iAt]);
      delete static_cast<std::string*>(aDates[iAt]);
      delete static_cast<std::string*>(aTimes[iAt]);
    }
  }
}

int CChannel::GetCount() {
  return m_oMinutes.GetCount();
}

int32_t CChannel::GetFirstTimepoint() {
  m_oStates.GetFirst();
  const void* pMinutes = m_oMinutes.GetFirst();
  return pMinutes != nullptr ? *static_cast<const int32_t*>(pMinutes) : -1;
}

int32_t CChannel::GetNextTimepoint() {
  m_oStates.GetNext();
  const void* pMinutes = m_oMinutes.GetNext();
  return pMinutes != nullptr ? *static_cast<const int32_t*>(pMinutes) : -1;
}

int32_t CChannel::GetPointState() {
  const int iAt = m_oStates.GetWalkIndex();
  return iAt >= 0 && iAt < m_oStates.GetCount() ? EntryAt<int32_t>(m_oStates, iAt) : 0;
}

void CChannel::TakeCurrentTexts() {
  const int iAt = m_oMinutes.GetWalkIndex();
  const bool bOnPoint = iAt >= 0 && iAt < m_oDates.GetCount();
  m_sCurrentDate = bOnPoint ? EntryAt<std::string>(m_oDates, iAt) : "";
  m_sCurrentTime = bOnPoint ? EntryAt<std::string>(m_oTimes, iAt) : "";
}

int32_t CChannel::GetMonthNumber() {
  TakeCurrentTexts();
  return FieldNumber(m_sCurrentDate, '/', 0);
}

int32_t CChannel::GetDayNumber() {
  TakeCurrentTexts();
  return FieldNumber(m_sCurrentDate, '/', 1);
}

int32_t CChannel::GetYearNumber() {
  TakeCurrentTexts();
  return FieldNumber(m_sCurrentDate, '/', 2);
}

int32_t CChannel::GetHourNumber() {
  TakeCurrentTexts();
  return FieldNumber(m_sCurrentTime, ':', 0);
}

int32_t CChannel::GetMinuteNumber() {
  TakeCurrentTexts();
  return FieldNumber(m_sCurrentTime, ':', 1);
}

int32_t CChannel::GetMinutesTillMidnight() const {
  CZuvTime oFirst;
  if (!oFirst.SetStartTime(m_oFirstStamp.GetBuffer())) return 0;
  const SLocalTime& oParts = oFirst.GetParts();
  const int iSeconds = oParts.m_iHour * 3600 + oParts.m_iMinute * 60 + oParts.m_iSecond;
  return WholeMinutesBetween(iSeconds / 86400.0, 86399 / 86400.0);
}

}  // namespace wdx
