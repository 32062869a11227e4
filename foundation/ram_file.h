// CRamFileRO / CRamFile: the settings file (AutoSet.caf) held in memory. Initialize loads the
// scrambled file once (an absent file is created empty, mode 0600, unless the object was told
// not to create it: then it loads as empty and nothing is written); lookups and changes then
// work on the lines in memory, and SaveToFile writes them all back. ReloadFromFile reads the
// file afresh. Callers that create or save the file hold CSettingsLock (settings_lock.h).
// The file is sectioned: a header line "[NAME]" starts a section that runs until the next line
// containing "["; "[KEYS]" holds key=value lines, the other sections are lists. Every line is
// trimmed; a line holds at most 255 characters of 32 to 126.
//
// SaveToFile builds the whole scrambled file in memory and replaces the old one atomically
// (mode 0600: the file holds the password); on any failure the old file stays as it was. A
// failed load leaves nothing in memory and the object refuses to save, so a file that could
// not be read is never overwritten by what little was read of it.
//
// CRamFileRO is the service's class; CRamFile is the console's, which reports with "CRamFile::"
// and adds loading from and listing to plain text lines.
//
// Threading: no locks; one object is used by one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/zuv_base.h"

namespace wdx {

class CArrayStr;
class CCryptoTxtfile;

inline constexpr int RAM_FILE_LINE_SIZE = 255;
inline constexpr int RAM_FILE_MODE = 0600;

class CRamFileRO : public CZuvBase {
 public:
  CRamFileRO();
  CRamFileRO(const CRamFileRO&) = delete;
  CRamFileRO& operator=(const CRamFileRO&) = delete;
  ~CRamFileRO() override;

  // Builds folder + "/" + name and loads the file unless lines are already in memory.
  bool Initialize(const char* szFolder, const char* szName);
  bool IsLive() const override;

  // The value of the key in "[KEYS]" (text after the first "="), "" when absent.
  std::string GetKeyValue(const char* szName);
  // Replaces the key's line in "[KEYS]", or adds key=value as the section's last line.
  bool SetKeyValue(const char* szName, const char* szValue);
  // Copies the section's lines into oList from element 0, at most its size.
  bool LoadSectionIntoArray(CArrayStr& oList, const char* szSection);
  // Walks a list section; "" ends the walk.
  std::string GetFirstLineOfSection(const char* szSection);
  std::string GetNextLineOfSection();

  bool LoadToRam();
  bool SaveToFile();
  // Reads the file afresh; on failure the lines in memory stay as they were (and false).
  bool ReloadFromFile();
  // Whether a load creates an absent file (the default). Without it an absent file in an
  // existing folder loads as empty, and the file is opened for reading only.
  void SetCreateWhenAbsent(bool bCreate) { m_bCreateWhenAbsent = bCreate; }

  const std::string& GetPath() const { return m_sPath; }
  int GetLineCount() const { return static_cast<int>(m_oLines.size()); }

 protected:
  // szPrefix names the class in every report ("CRamFileRO" or "CRamFile").
  explicit CRamFileRO(const char* szPrefix);

  void ReportFailure(const char* szOperationText) const;
  const std::string& GetPrefix() const { return m_sPrefix; }
  std::vector<std::string>& Lines() { return m_oLines; }
  const std::vector<std::string>& Lines() const { return m_oLines; }
  bool HasPath() const { return !m_sPath.empty(); }
  void SetInitialized(bool bInitialized) { m_bInitialized = bInitialized; }

 private:
  // Index of the section's first line (after its header) and one past its last line. A missing
  // header is appended at the end of the lines.
  void FindSection(const char* szSection, size_t& uFirst, size_t& uEnd);
  bool BuildPath(const std::string& sFolder, const std::string& sName);
  // False with bAbsent set when the file is absent and is not to be created.
  bool OpenForLoad(bool& bAbsent);
  bool BuildFileText(std::string& sText);

  std::string m_sPrefix;
  std::string m_sFolder;
  std::string m_sFileName;
  std::string m_sPath;
  bool m_bInitialized = false;
  bool m_bCreateWhenAbsent = true;
  std::unique_ptr<CCryptoTxtfile> m_pCryptoFile;
  std::vector<std::string> m_oLines;
  std::string m_sSection;
  std::string m_sValue;
  std::string m_sLastLine;
  size_t m_uWalkIndex = 0;
  size_t m_uWalkEnd = 0;
};

// The console's copy: reports as "CRamFile::" and exchanges its lines as plain text.
class CRamFile final : public CRamFileRO {
 public:
  CRamFile();

  // Discards the lines in memory and takes oLines in order (trimmed, empty ones skipped). The
  // object must have been given its path by Initialize (even one whose load failed); it then
  // counts as loaded and may be saved.
  bool LoadToRamFromListBox(const std::vector<std::string>& oLines);
  // The lines in memory, in file order.
  std::vector<std::string> GetLines() const;
};

}  // namespace wdx
