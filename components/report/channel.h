// CChannel: the time-point series of one monitored item, loaded from the uptime log. A point is
// made of each "(event): TYPE, NAME, UP|DN" line of the item (its type as contained text, its
// description contained ignoring letter case) whose time stamp lies in the window; for each
// point it keeps, in four parallel pointer stacks, the whole minutes since the window start, the
// state (1 up, 0 down), the date text "M/D/YYYY" and the time text "H:M". A walk moves over the
// points from the first.
//
// What the log may hold and how it is read:
//   - the first line (the log's banner) is never a point; a file without any CR LF loads nothing;
//   - a line over 256 characters is reported, its cut text is still matched, and its state is
//     taken from the end of the whole line (the rest of the line is not read as a line of its own);
//   - lines without a valid time stamp, or not ending in UP or DN (a torn last line, garbage),
//     are skipped; lines stamped before the window start or after its end are skipped wherever
//     they stand, so dates out of order never end the series early;
//   - a line stamped earlier than the point before it (a clock that was set back) keeps its
//     place in file order at the minute of that point, so the series never runs backwards;
//   - the stacks hold 4096 points; when they are full, runs of one state are kept as their
//     first and last observation, so long windows keep every change; only a series of more than
//     4096 changes ends early (with the stack's own error line).
//
// Threading: one thread at a time (the report object's lock guards it).
#pragma once

#include <cstdint>
#include <string>

#include "components/report/zuv_time.h"
#include "foundation/pointer_stack.h"
#include "foundation/txt_file4.h"
#include "foundation/zuv_base.h"
#include "foundation/zuv_str.h"

namespace wdx {

inline constexpr int CHANNEL_LINE_BUFFER_SIZE = 256;

class CChannel final : public CZuvBase {
 public:
  CChannel() = default;
  ~CChannel() override;

  // Replaces the series: stores the item and the window and loads the file. A start that is
  // not valid takes every line (minutes then count from the first point); an end that is not
  // valid or less than a minute after the start means "now". True when the file was read.
  bool ReInitialize(int32_t lType, const std::string& sDescription, const std::string& sPath,
                    const SDateTime& oStart, const SDateTime& oEnd);

  int GetCount();
  bool IsLoaded() const { return m_bLoaded; }
  // "" until a point is loaded.
  const CZuvStr& GetFirstStamp() const { return m_oFirstStamp; }
  int32_t GetMinutesToEnd() const { return m_lMinutesToEnd; }

  // The walk: minutes of the first / next point, -1 when there is none (and again after).
  int32_t GetFirstTimepoint();
  int32_t GetNextTimepoint();
  // State of the point under the walk (1 up, 0 down; 0 when there is none).
  int32_t GetPointState();
  int32_t GetMonthNumber();
  int32_t GetDayNumber();
  int32_t GetYearNumber();
  int32_t GetHourNumber();
  int32_t GetMinuteNumber();
  // Whole minutes from the first stamp's time of day to 23:59:59; 0 when nothing was loaded.
  int32_t GetMinutesTillMidnight() const;

 private:
  struct SLineText;

  bool LoadData();
  bool SkipFirstLine(CTxtFile4& oFile);
  // Reads the next line; false at the end of the file.
  bool ReadLine(CTxtFile4& oFile, SLineText& oLine);
  void ExamineLine(const SLineText& oLine);
  bool AppendPoint(int32_t lMinutes, int32_t lState, const SLocalTime& oParts);
  // Makes room in full stacks: first by moving the last point of a run of the new state, then
  // by thinning every run to its ends. True when the point was placed or there is room.
  bool MakeRoom(int32_t lMinutes, int32_t lState, const SLocalTime& oParts, bool& bPlaced);
  void Thin();
  void EmptyLists();
  // Copies the date and time texts at the walk's position into the current texts.
  void TakeCurrentTexts();

  int32_t m_lType = 0;
  CZuvStr m_oDescription;
  CZuvStr m_oInputFile;
  SDateTime m_oStart;
  SDateTime m_oEnd;
  CZuvStr m_oFirstStamp;
  std::string m_sCurrentDate;
  std::string m_sCurrentTime;
  CPointerStack m_oMinutes;  // int32_t*
  CPointerStack m_oStates;   // int32_t*
  CPointerStack m_oDates;    // std::string*
  CPointerStack m_oTimes;    // std::string*
  CZuvTime m_oReference;
  bool m_bLoaded = false;
  int32_t m_lMinutesToEnd = 0;
  bool m_bTakeAll = false;
  bool m_bReferenceSet = false;
  std::string m_sTypeMarker;
  int32_t m_lLastMinutes = 0;
  bool m_bThinned = false;
  bool m_bFull = false;
  int m_iUnendedLines = 0;
};

}  // namespace wdx
