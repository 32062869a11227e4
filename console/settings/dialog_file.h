// CDialogFile: how a settings dialog reads and writes AutoSet.caf.
//
// Open reads the file without creating it; when it cannot be read the dialog's class logs
// "<Class>::LoadIfNexessary() failed." and the dialog opens with empty fields. Save is a
// read-modify-write under the settings lock (CSettingsLock): the file is read afresh, the
// dialog's apply function writes only its own keys and sections into it, and the whole file is
// saved, so what the service or another console changed meanwhile is kept. A failed save logs
// "<Class>::SaveSettings() failed." and leaves the file as it was.
//
// The helpers check a value before it is written: a line of the file holds at most 255
// printable ASCII characters, and no list entry may hold "[" (it would end its section).
//
// Threading: one object per dialog action and thread; Save excludes other threads and processes
// through the settings lock.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace wdx {

class CRamFile;

// What a dialog's OK did: whether its values were taken and saved, whether the dialog closes,
// and the texts of the message boxes it showed, in order. m_sError is set instead when the input
// could not be stored at all (nothing was written).
struct SDialogOutcome {
  bool m_bAccepted = false;
  bool m_bClosed = false;
  std::vector<std::string> m_oMessages;
  std::string m_sError;
};

class CDialogFile final {
 public:
  // szClass names the dialog's class in its log entries ("CSetRequireds").
  CDialogFile(std::string sProgramFolder, const char* szClass);
  CDialogFile(const CDialogFile&) = delete;
  CDialogFile& operator=(const CDialogFile&) = delete;

  // Reads the file's lines; false (logged) when it cannot be read: the lines are then empty.
  bool Open();
  // The value of a key of "[KEYS]" as the service reads it; "" when absent.
  std::string GetKey(const std::string& sKey) const;
  // The lines of a list section named without brackets ("URLS").
  std::vector<std::string> GetSection(const std::string& sName) const;
  const std::vector<std::string>& GetLines() const { return m_oLines; }

  // Under the settings lock: reads the file afresh, runs fnApply on it and saves it. False when
  // fnApply refuses, the file cannot be read, or the save fails (then logged).
  bool Save(const std::function<bool(CRamFile&)>& fnApply);

  // Replaces a list section's lines (the header is added at the end when missing).
  static bool SetSection(CRamFile& oFile, const std::string& sName,
                         const std::vector<std::string>& oEntries);
  static std::string KeyOf(const std::vector<std::string>& oLines, const std::string& sKey);
  static std::vector<std::string> SectionOf(const std::vector<std::string>& oLines,
                                            const std::string& sName);
  // "" when "key=value" may stand in the file, else the reason in words. The text is checked as
  // given (trimming would hide the bytes that the file cannot hold).
  static std::string CheckValue(const std::string& sKey, const std::string& sValue);
  // "" when every entry may stand in a list section, else the reason naming the entry.
  static std::string CheckEntries(const std::vector<std::string>& oEntries);
  // The stored form of a flag.
  static const char* FlagText(bool bOn) { return bOn ? "T" : "F"; }
  // A multi-line text as one line: its line breaks become blanks.
  static std::string OneLine(const std::string& sText);

 private:
  std::string m_sFolder;
  std::string m_sClass;
  std::vector<std::string> m_oLines;
};

}  // namespace wdx
