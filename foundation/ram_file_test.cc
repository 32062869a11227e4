#include "foundation/ram_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "foundation/array_str.h"
#include "foundation/crypto_txt_file.h"
#include "platform/fake_file_system.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using test::CLogCapture;
using test::CTempFolder;

constexpr const char* kName = "AutoSet.caf";

// Writes the lines scrambled, as the settings file holds them.
void WriteSettings(const CTempFolder& oFolder, const std::vector<std::string>& oLines) {
  std::string sText;
  CCryptoTxtfile oScrambler;
  ASSERT_TRUE(oScrambler.Initialize(RAM_FILE_LINE_SIZE));
  for (const std::string& sLine : oLines)
    ASSERT_TRUE(oScrambler.AppendToText(sLine.c_str(), sText));
  oFolder.Write(kName, sText);
}

// Loads the file of the folder into a fresh console object and returns its lines.
std::vector<std::string> ReadSettings(const CTempFolder& oFolder) {
  CRamFile oFile;
  EXPECT_TRUE(oFile.Initialize(oFolder.Path().c_str(), kName));
  return oFile.GetLines();
}

class RamFileTest : public ::testing::Test {
 protected:
  void Load(CRamFileRO& oFile, const std::vector<std::string>& oLines) {
    WriteSettings(m_oFolder, oLines);
    ASSERT_TRUE(oFile.Initialize(m_oFolder.Path().c_str(), kName));
  }

  CLogCapture m_oLog;
  CTempFolder m_oFolder;
};

// --- key lookup ---

TEST_F(RamFileTest, KeyLookupIgnoresCaseAndBlanks) {
  CRamFileRO oFile;
  Load(oFile, {"[KEYS]", "MachineName=SRV1", "Port =25", "[PROGS]", "Other=x"});
  EXPECT_EQ(oFile.GetKeyValue("machinename"), "SRV1");
  EXPECT_EQ(oFile.GetKeyValue(" PORT "), "25");
  EXPECT_EQ(oFile.GetKeyValue("Other"), "");
  EXPECT_EQ(oFile.GetKeyValue("Missing"), "");
}

TEST_F(RamFileTest, ValueIsEverythingAfterTheFirstEquals) {
  CRamFileRO oFile;
  Load(oFile, {"[KEYS]", "a=b=c", "empty="});
  EXPECT_EQ(oFile.GetKeyValue("a"), "b=c");
  EXPECT_EQ(oFile.GetKeyValue("empty"), "");
}

TEST_F(RamFileTest, FirstMatchingLineWins) {
  CRamFileRO oFile;
  Load(oFile, {"[KEYS]", "Key=first", "key=second"});
  EXPECT_EQ(oFile.GetKeyValue("KEY"), "first");
}

TEST_F(RamFileTest, LinesBeforeTheFirstHeaderBelongToNoSection) {
  CRamFileRO oFile;
  Load(oFile, {"Stray=1", "[KEYS]", "Real=2"});
  EXPECT_EQ(oFile.GetKeyValue("Stray"), "");
  EXPECT_EQ(oFile.GetKeyValue("Real"), "2");
}

// --- key changes ---

TEST_F(RamFileTest, NewKeyGoesJustBeforeTheNextSection) {
  CRamFile oFile;
  Load(oFile, {"[KEYS]", "A=1", "[PROGS]", "prog.exe"});
  ASSERT_TRUE(oFile.SetKeyValue("B", "2"));
  EXPECT_EQ(oFile.GetLines(),
            std::vector<std::string>({"[KEYS]", "A=1", "B=2", "[PROGS]", "prog.exe"}));
}

TEST_F(RamFileTest, ExistingKeyIsReplacedInPlaceWithTheGivenSpelling) {
  CRamFile oFile;
  Load(oFile, {"[KEYS]", "mykey=old", "Z=9"});
  ASSERT_TRUE(oFile.SetKeyValue("MyKey", "new"));
  EXPECT_EQ(oFile.GetLines(), std::vector<std::string>({"[KEYS]", "MyKey=new", "Z=9"}));
}

TEST_F(RamFileTest, MissingKeysSectionIsAddedAtTheEndAndSaved) {
  CRamFile oFile;
  Load(oFile, {"[PROGS]", "a.exe"});
  EXPECT_EQ(oFile.GetKeyValue("Any"), "");
  ASSERT_TRUE(oFile.SaveToFile());
  EXPECT_EQ(ReadSettings(m_oFolder), std::vector<std::string>({"[PROGS]", "a.exe", "[KEYS]"}));
  ASSERT_TRUE(oFile.SetKeyValue("K", "v"));
  ASSERT_TRUE(oFile.SaveToFile());
  EXPECT_EQ(ReadSettings(m_oFolder),
            std::vector<std::string>({"[PROGS]", "a.exe", "[KEYS]", "K=v"}));
}

// --- list sections ---

TEST_F(RamFileTest, ListWalkStopsAtALineHoldingABracket) {
  CRamFileRO oFile;
  Load(oFile, {"[URLS]", "http://a/", "http://b/", "weird[entry", "http://c/"});
  EXPECT_EQ(oFile.GetFirstLineOfSection("[urls]"), "http://a/");
  EXPECT_EQ(oFile.GetNextLineOfSection(), "http://b/");
  EXPECT_EQ(oFile.GetNextLineOfSection(), "");
  EXPECT_EQ(oFile.GetNextLineOfSection(), "");
}

TEST_F(RamFileTest, MissingListIsEmpty) {
  CRamFileRO oFile;
  Load(oFile, {"[KEYS]", "A=1"});
  EXPECT_EQ(oFile.GetFirstLineOfSection("[EMAILS]"), "");
}

TEST_F(RamFileTest, SectionIntoArrayIsCutAtTheArraySize) {
  CRamFileRO oFile;
  Load(oFile, {"[PROGS]", "one", "two", "three", "[STOPS]", "four"});
  CArrayStr oList;
  ASSERT_TRUE(oList.Initialize(2, 255));
  ASSERT_TRUE(oFile.LoadSectionIntoArray(oList, "[PROGS]"));
  EXPECT_STREQ(oList.GetAt(0), "one");
  EXPECT_STREQ(oList.GetAt(1), "two");
  EXPECT_EQ(oList.GetUsedCount(), 2);
}

// --- load and save ---

TEST_F(RamFileTest, LinesAreTrimmedAndEmptyLinesAreNotSaved) {
  CRamFile oFile;
  Load(oFile, {"  [KEYS] ", "", "A=1   ", "~B=2~"});
  EXPECT_EQ(oFile.GetKeyValue("B"), "2");
  ASSERT_TRUE(oFile.SaveToFile());
  EXPECT_EQ(ReadSettings(m_oFolder), std::vector<std::string>({"[KEYS]", "A=1", "B=2"}));
}

TEST_F(RamFileTest, SavedFileIsScrambledAndPrivate) {
  CRamFileRO oFile;
  Load(oFile, {"[KEYS]", "Password=secret"});
  ASSERT_TRUE(oFile.SetKeyValue("Password", "other"));
  ASSERT_TRUE(oFile.SaveToFile());
  const std::string sBytes = m_oFolder.Read(kName);
  EXPECT_EQ(sBytes.find("Password"), std::string::npos);
  EXPECT_EQ(sBytes.find("other"), std::string::npos);
  struct stat oInfo = {};
  ASSERT_EQ(stat(m_oFolder.File(kName).c_str(), &oInfo), 0);
  EXPECT_EQ(oInfo.st_mode & 0777, 0600u);
}

TEST_F(RamFileTest, SecondInitializeKeepsTheLinesInMemory) {
  CRamFileRO oFile;
  Load(oFile, {"[KEYS]", "A=1"});
  ASSERT_TRUE(oFile.SetKeyValue("A", "2"));
  WriteSettings(m_oFolder, {"[KEYS]", "A=3"});
  ASSERT_TRUE(oFile.Initialize(m_oFolder.Path().c_str(), kName));
  EXPECT_EQ(oFile.GetKeyValue("A"), "2");
}

TEST_F(RamFileTest, ExplicitReloadReadsTheFileAgainFromLineZero) {
  CRamFileRO oFile;
  Load(oFile, {"[KEYS]", "A=1", "B=2"});
  WriteSettings(m_oFolder, {"[KEYS]", "A=9", "B=8"});
  ASSERT_TRUE(oFile.LoadToRam());
  EXPECT_EQ(oFile.GetKeyValue("A"), "9");
  EXPECT_EQ(oFile.GetKeyValue("B"), "8");
  EXPECT_EQ(oFile.GetLineCount(), 3);
}

TEST_F(RamFileTest, PathIsBuiltWithOneSlash) {
  CRamFileRO oWithout;
  std::string sFolder = m_oFolder.Path();
  sFolder.pop_back();
  ASSERT_TRUE(oWithout.Initialize(sFolder.c_str(), kName));
  EXPECT_EQ(oWithout.GetPath(), m_oFolder.File(kName));
  CRamFileRO oBoth;
  ASSERT_TRUE(oBoth.Initialize(m_oFolder.Path().c_str(), "/AutoSet.caf"));
  EXPECT_EQ(oBoth.GetPath(), m_oFolder.File(kName));
}

// --- atomic save ---

TEST_F(RamFileTest, LineWithUnprintableCharacterFailsSaveAndKeepsOldFile) {
  CRamFile oFile;
  Load(oFile, {"[KEYS]", "A=1", "B=2"});
  const std::string sBefore = m_oFolder.Read(kName);
  ASSERT_TRUE(oFile.SetKeyValue("A", "bad\x01value"));
  EXPECT_FALSE(oFile.SaveToFile());
  EXPECT_TRUE(m_oLog.HasError("CCryptoTxtfile::Append failed."));
  EXPECT_TRUE(m_oLog.HasError("CRamFile::SaveToFile() failed."));
  EXPECT_EQ(m_oFolder.Read(kName), sBefore);
}

TEST_F(RamFileTest, FailedReplaceKeepsOldFile) {
  CRamFileRO oFile;
  Load(oFile, {"[KEYS]", "A=1"});
  const std::string sBefore = m_oFolder.Read(kName);
  ASSERT_TRUE(oFile.SetKeyValue("A", "2"));
  CFakeFileSystem oFake;
  oFake.SetFailure(EFileOp::REPLACE, ENOSPC);
  SetFileSystemForTesting(&oFake);
  const bool bSaved = oFile.SaveToFile();
  SetFileSystemForTesting(nullptr);
  EXPECT_FALSE(bSaved);
  EXPECT_TRUE(m_oLog.HasError("CRamFileRO::SaveToFile() failed."));
  EXPECT_EQ(m_oFolder.Read(kName), sBefore);
}

TEST_F(RamFileTest, LineTooLongToReadBackIsNotSaved) {
  CRamFileRO oFile;
  Load(oFile, {"[KEYS]", "A=1"});
  const std::string sBefore = m_oFolder.Read(kName);
  ASSERT_TRUE(oFile.SetKeyValue("A", std::string(300, 'v').c_str()));
  EXPECT_FALSE(oFile.SaveToFile());
  EXPECT_EQ(m_oFolder.Read(kName), sBefore);
}

// --- bad files and folders ---

TEST_F(RamFileTest, MissingFileIsCreatedEmptyAndPrivateUnlessCreationIsOff) {
  CRamFile oReader;
  oReader.SetCreateWhenAbsent(false);
  ASSERT_TRUE(oReader.Initialize(m_oFolder.Path().c_str(), kName));
  EXPECT_EQ(oReader.GetLineCount(), 0);
  EXPECT_NE(access(m_oFolder.File(kName).c_str(), F_OK), 0);
  CRamFile oNoFolder;
  oNoFolder.SetCreateWhenAbsent(false);
  EXPECT_FALSE(oNoFolder.Initialize((m_oFolder.Path() + "absent").c_str(), kName));

  CRamFileRO oFile;
  ASSERT_TRUE(oFile.Initialize(m_oFolder.Path().c_str(), kName));
  EXPECT_EQ(oFile.GetLineCount(), 0);
  EXPECT_EQ(oFile.GetKeyValue("MinuteInterval"), "");
  struct stat oInfo = {};
  ASSERT_EQ(stat(m_oFolder.File(kName).c_str(), &oInfo), 0);
  EXPECT_EQ(oInfo.st_mode & 0777, 0600u);
}

TEST_F(RamFileTest, ReloadTakesTheFileAsItIsOrKeepsTheLinesItHad) {
  CRamFileRO oFile;
  Load(oFile, {"[KEYS]", "A=1"});
  WriteSettings(m_oFolder, {"[KEYS]", "A=2", "[URLS]", "http://x/"});
  ASSERT_TRUE(oFile.ReloadFromFile());
  EXPECT_EQ(oFile.GetKeyValue("A"), "2");
  EXPECT_EQ(oFile.GetFirstLineOfSection("[URLS]"), "http://x/");
  m_oFolder.Write(kName, std::string(3000, 'Q'));
  EXPECT_FALSE(oFile.ReloadFromFile());
  EXPECT_TRUE(oFile.IsLive());
  EXPECT_EQ(oFile.GetKeyValue("A"), "2");
}

TEST_F(RamFileTest, OverlongLineFailsLoadAndFileIsNeverOverwritten) {
  WriteSettings(m_oFolder, {"[KEYS]", "A=1"});
  std::string sBytes = m_oFolder.Read(kName) + std::string(10000, 'Q') + "\r\n";
  m_oFolder.Write(kName, sBytes);
  CRamFileRO oFile;
  EXPECT_FALSE(oFile.Initialize(m_oFolder.Path().c_str(), kName));
  EXPECT_TRUE(m_oLog.HasError("CCryptoTxtfile::ReadTextLine has buffer overflow."));
  EXPECT_TRUE(m_oLog.HasError("CRamFileRO::LoadToRam() failed."));
  EXPECT_TRUE(m_oLog.HasError("CRamFileRO::Initialize() failed."));
  EXPECT_EQ(oFile.GetLineCount(), 0);
  EXPECT_EQ(oFile.GetKeyValue("A"), "");
  EXPECT_FALSE(oFile.SetKeyValue("A", "2"));
  EXPECT_FALSE(oFile.SaveToFile());
  EXPECT_FALSE(oFile.Initialize(m_oFolder.Path().c_str(), kName));
  EXPECT_EQ(m_oFolder.Read(kName), sBytes);
}

TEST_F(RamFileTest, BinaryGarbageNeitherCrashesNorIsLost) {
  std::string sGarbage;
  for (int i = 0; i < 50000; ++i) sGarbage += static_cast<char>((i * 2654435761u) >> 24);
  m_oFolder.Write(kName, sGarbage);
  CRamFile oFile;
  if (oFile.Initialize(m_oFolder.Path().c_str(), kName)) {
    oFile.GetKeyValue("A");
    oFile.SaveToFile();
  } else {
    EXPECT_FALSE(oFile.SaveToFile());
  }
  EXPECT_EQ(m_oFolder.Read(kName), sGarbage);
}

TEST_F(RamFileTest, MissingFolderFailsInitialize) {
  CRamFileRO oFile;
  EXPECT_FALSE(oFile.Initialize((m_oFolder.Path() + "absent").c_str(), kName));
  EXPECT_TRUE(m_oLog.HasError("CRamFileRO::Initialize() failed."));
  EXPECT_TRUE(m_oLog.HasError("CCryptoTxtfile::Create cannot create its file."));
  EXPECT_FALSE(oFile.IsLive());
  EXPECT_TRUE(m_oLog.HasError("CRamFileRO::IsLive() Object is not initialized."));
}

TEST_F(RamFileTest, FolderThatIsAFileFailsInitialize) {
  m_oFolder.Write("plain", "x");
  CRamFile oFile;
  EXPECT_FALSE(oFile.Initialize(m_oFolder.File("plain").c_str(), kName));
  EXPECT_TRUE(m_oLog.HasError("CRamFile::Initialize() failed."));
}

TEST_F(RamFileTest, UnwritableFolderFailsInitialize) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  const std::string sLocked = m_oFolder.Path() + "locked";
  ASSERT_EQ(mkdir(sLocked.c_str(), 0500), 0);
  CRamFileRO oFile;
  EXPECT_FALSE(oFile.Initialize(sLocked.c_str(), kName));
  chmod(sLocked.c_str(), 0700);
}

TEST_F(RamFileTest, EmptyFolderOrNameFailsInitialize) {
  CRamFileRO oFile;
  EXPECT_FALSE(oFile.Initialize("", kName));
  EXPECT_FALSE(oFile.Initialize(m_oFolder.Path().c_str(), ""));
}

// --- console import and export ---

TEST_F(RamFileTest, ImportReplacesAllLinesAndSaves) {
  CRamFile oFile;
  Load(oFile, {"[KEYS]", "A=1"});
  ASSERT_TRUE(oFile.LoadToRamFromListBox({"[KEYS]", "", "  B=2  ", "[PROGS]", "x.exe"}));
  EXPECT_EQ(oFile.GetLines(), std::vector<std::string>({"[KEYS]", "B=2", "[PROGS]", "x.exe"}));
  ASSERT_TRUE(oFile.SaveToFile());
  EXPECT_EQ(ReadSettings(m_oFolder), oFile.GetLines());
}

TEST_F(RamFileTest, ImportRepairsAnUnreadableFile) {
  m_oFolder.Write(kName, std::string(1000, 'Z'));
  CRamFile oFile;
  EXPECT_FALSE(oFile.Initialize(m_oFolder.Path().c_str(), kName));
  ASSERT_TRUE(oFile.LoadToRamFromListBox({"[KEYS]", "A=1"}));
  ASSERT_TRUE(oFile.SaveToFile());
  EXPECT_EQ(ReadSettings(m_oFolder), std::vector<std::string>({"[KEYS]", "A=1"}));
}

TEST_F(RamFileTest, ImportWithoutPathFails) {
  CRamFile oFile;
  EXPECT_FALSE(oFile.LoadToRamFromListBox({"[KEYS]"}));
  EXPECT_TRUE(m_oLog.HasError("CRamFile::LoadToRamFromListBox() failed."));
}

TEST_F(RamFileTest, ManyLinesSurviveARoundTrip) {
  std::vector<std::string> oLines = {"[KEYS]"};
  for (int i = 0; i < 3000; ++i) {
    oLines.push_back("Key" + std::to_string(i) + "=" +
                     std::string(static_cast<size_t>(i % 240), 'a' + i % 26));
  }
  CRamFile oFile;
  Load(oFile, oLines);
  EXPECT_EQ(oFile.GetKeyValue("key2999"), std::string(2999 % 240, 'a' + 2999 % 26));
  ASSERT_TRUE(oFile.SaveToFile());
  EXPECT_EQ(ReadSettings(m_oFolder), oLines);
}

}  // namespace
}  // namespace wdx
