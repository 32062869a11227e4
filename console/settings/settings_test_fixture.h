// Test fixture of the settings dialogs: a program folder whose AutoSet.caf is written and read
// back through the settings store, and a capture of the process log.
//
// Threading: one test thread.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/settings_editor.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {

class CSettingsDialogTest : public ::testing::Test {
 protected:
  void WriteFile(const std::vector<std::string>& oLines) {
    CSettingsEditor oEditor(Folder());
    ASSERT_TRUE(oEditor.ImportLines(oLines)) << oEditor.GetLastError();
  }
  std::vector<std::string> FileLines() {
    CSettingsEditor oEditor(Folder());
    EXPECT_TRUE(oEditor.Load()) << oEditor.GetLastError();
    return oEditor.ExportLines();
  }
  std::string Key(const std::string& sKey) {
    CSettingsEditor oEditor(Folder());
    EXPECT_TRUE(oEditor.Load()) << oEditor.GetLastError();
    return oEditor.GetKey(sKey);
  }
  std::vector<std::string> Section(const std::string& sName) {
    CSettingsEditor oEditor(Folder());
    EXPECT_TRUE(oEditor.Load()) << oEditor.GetLastError();
    return oEditor.GetSectionLines(sName);
  }
  // A settings file that cannot be read (a line longer than a line may be).
  void WriteDamagedFile() { m_oFolder.Write("AutoSet.caf", std::string(600, 'x') + "\r\n"); }
  const std::string& Folder() const { return m_oFolder.Path(); }

  CTempFolder m_oFolder;
  CLogCapture m_oLog;
};

}  // namespace wdx::test
