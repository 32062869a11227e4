// CSettingsEditor: the console's command-line editing of AutoSet.caf: list, get and set keys
// of "[KEYS]", add and remove lines of the list sections, and export or import the whole file
// as plain text (for operators who keep their configuration in version control).
//
// Reads (Load and what follows it) never create the file: an absent file reads as empty. Every
// change is a read-modify-write under the settings lock (CSettingsLock): the file is read afresh,
// the change is validated and applied, and the file is saved whole, so two consoles editing at
// once (or a console and the service) never lose each other's lines, and a refused change
// leaves the file as it was. Numbers are checked against their allowed range
// (CAllSets::CheckNumber).
//
// Threading: one thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/ram_file.h"

namespace wdx {

class CSettingsEditor final {
 public:
  explicit CSettingsEditor(const std::string& sProgramFolder);
  CSettingsEditor(const CSettingsEditor&) = delete;
  CSettingsEditor& operator=(const CSettingsEditor&) = delete;

  // Reads the file for the read operations below (which need it). False with the reason in
  // GetLastError.
  bool Load();

  // "key=value" lines of "[KEYS]"; the password's value is masked.
  std::vector<std::string> ListKeys() const;
  // Each list section the service reads, as its header line followed by its lines.
  std::vector<std::string> ListSections() const;
  // The lines of a list section named without brackets (URLS, RURLS, PROGS, STOPS, EMAILS).
  std::vector<std::string> GetSectionLines(const std::string& sSection) const;
  std::string GetKey(const std::string& sKey) const;
  std::vector<std::string> ExportLines() const;

  // Changes: each reads the file afresh and saves it under the settings lock.
  bool SetKey(const std::string& sKey, const std::string& sValue);
  // sSection is a section's name without brackets.
  bool AddLine(const std::string& sSection, const std::string& sLine);
  bool RemoveLine(const std::string& sSection, const std::string& sLine);
  bool ImportLines(const std::vector<std::string>& oLines);

  // Whether the service reads this key (a set of another key is allowed, with a warning).
  static bool IsKnownKey(const std::string& sKey);
  // Whether the name (without brackets, any case) is one of the list sections the service reads.
  static bool IsListSection(const std::string& sSection);
  // Empty when the text may stand in AutoSet.caf as a line, else the reason it may not.
  static std::string CheckLineText(const std::string& sText);
  const std::string& GetLastError() const { return m_sLastError; }
  // What the last change altered beyond what was asked (a raised number), or "".
  const std::string& GetNote() const { return m_sNote; }

 private:
  // Reads the file into a fresh object; nothing is created.
  bool LoadFile();
  // Under the settings lock: reads the file afresh, runs fnApply on it and saves the result.
  bool Change(const std::function<bool(CRamFile&)>& fnApply);
  bool Fail(const std::string& sReason);
  bool SectionName(const std::string& sSection, std::string& sHeader);
  // The value with its number rule applied; false (and the reason) when it is refused.
  bool CheckValue(const std::string& sKey, std::string& sValue, const std::string& sWhere);

  std::string m_sFolder;
  std::unique_ptr<CRamFile> m_pFile;
  std::string m_sLastError;
  std::string m_sNote;
};

}  // namespace wdx
