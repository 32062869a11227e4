// The automation host's logic: words of a line, the Variant of each argument, printed results,
// and whole runs on the real life-sign library in this process.
#include "console/wdxcall/wdxcall.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/registry_store.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

std::string Describe(const std::vector<SCallWord>& oWords) {
  std::string sText;
  for (const SCallWord& oWord : oWords) {
    sText += (oWord.m_bQuoted ? "q[" : "[") + oWord.m_sText + "]";
  }
  return sText;
}

TEST(WdxcallWords, LinesSplitShellStyle) {
  struct SCase {
    const char* szLine;
    const char* szWords;  // nullptr: the line is refused
  };
  const SCase aoCases[] = {
      {"ShowLifeSign /tmp/a", "[ShowLifeSign][/tmp/a]"},
      {"  Add\t 1   -2 \r", "[Add][1][-2]"},
      {"Set \"a b\" 'c \"d\"' e\\ f", "[Set]q[a b]q[c \"d\"]q[e f]"},
      {"Set \"say \\\"hi\\\" \\\\ \\n\"", "[Set]q[say \"hi\" \\ \\n]"},
      {"AddKey '\\\\host\\Process(x)\\Elapsed Time'",
       "[AddKey]q[\\\\host\\Process(x)\\Elapsed Time]"},
      {"Set '' \"\" x\"y\"z", "[Set]q[]q[]q[xyz]"},
      {"Set \"42\" 42", "[Set]q[42][42]"},
      {"", ""},
      {"Set 'open", nullptr},
      {"Set \"open \\\"", nullptr},
      {"Set end\\", nullptr},
  };
  for (const SCase& oCase : aoCases) {
    std::vector<SCallWord> oWords;
    std::string sError;
    const bool bSplit = SplitCallLine(oCase.szLine, oWords, sError);
    EXPECT_EQ(bSplit, oCase.szWords != nullptr) << oCase.szLine;
    if (bSplit && oCase.szWords != nullptr) {
      EXPECT_EQ(Describe(oWords), oCase.szWords) << oCase.szLine;
    } else {
      EXPECT_FALSE(sError.empty()) << oCase.szLine;
    }
  }
}

TEST(WdxcallWords, IntegersBecomeNumbersAndEverythingElseText) {
  struct SCase {
    SCallWord oWord;
    EVarType eType;
    int32_t lValue;
  };
  const SCase aoCases[] = {
      {{"42", false}, VT_I4, 42},
      {{"-7", false}, VT_I4, -7},
      {{"007", false}, VT_I4, 7},
      {{"2147483647", false}, VT_I4, 2147483647},
      {{"-2147483648", false}, VT_I4, INT32_MIN},
      {{"2147483648", false}, VT_BSTR, 0},
      {{"42", true}, VT_BSTR, 0},
      {{"+5", false}, VT_BSTR, 0},
      {{"-", false}, VT_BSTR, 0},
      {{"4.5", false}, VT_BSTR, 0},
      {{"12abc", false}, VT_BSTR, 0},
      {{"", false}, VT_BSTR, 0},
  };
  for (const SCase& oCase : aoCases) {
    const CVariant vArg = ArgumentVariant(oCase.oWord);
    EXPECT_EQ(vArg.GetType(), oCase.eType) << oCase.oWord.m_sText;
    if (oCase.eType == VT_I4) {
      EXPECT_EQ(vArg.GetInt32(), oCase.lValue) << oCase.oWord.m_sText;
    }
    if (oCase.eType == VT_BSTR) {
      EXPECT_EQ(vArg.GetString(), oCase.oWord.m_sText);
    }
  }
  // On the command line the double quotes themselves mark text.
  const std::pair<const char*, const char*> aoArgs[] = {
      {"\"42\"", "q[42]"}, {"42", "[42]"}, {"\"", "[\"]"}, {"\"\"", "q[]"}, {"a\"b\"", "[a\"b\"]"}};
  for (const auto& [szArg, szWord] : aoArgs) {
    EXPECT_EQ(Describe({CommandLineWord(szArg)}), szWord) << szArg;
  }
}

TEST(WdxcallWords, ResultsPrintOnOneLine) {
  EXPECT_EQ(ResultText(CVariant(int32_t{-1})), "-1");
  EXPECT_EQ(ResultText(CVariant(true)), "-1");
  EXPECT_EQ(ResultText(CVariant(false)), "0");
  EXPECT_EQ(ResultText(CVariant()), "");
  EXPECT_EQ(ResultText(CVariant("two\r\nlines")), "two  lines");
  EXPECT_EQ(DescribeFailure(DISP_E_BADPARAMCOUNT), "wrong number of arguments (0x8002000E)");
  EXPECT_EQ(DescribeFailure(static_cast<HRESULT>(0x80001234u)), "failed (0x80001234)");
}

// Whole runs in this process on the real life-sign library.
constexpr const char* kGoneClsid = "{5B0E7C3A-2D41-4F86-9A1B-7C3E5D2F1A09}";

class WdxcallRun : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegisterLibrary(std::string(WDX_DIST_DIR) + "/ZuvLifeSign.so", false), S_OK);
    // A class whose library has gone.
    auto pStore = OpenRegistryStore();
    ASSERT_TRUE(pStore->SetValue("HKCR\\Gone.Thing\\CLSID", "", kGoneClsid));
    ASSERT_TRUE(pStore->SetValue(std::string("HKCR\\CLSID\\") + kGoneClsid + "\\InprocServer32",
                                 "", m_oRegistry.Folder() + "Gone.so"));
  }
  int Run(const std::vector<std::string>& oArgs, const std::string& sInput = "") {
    std::istringstream oIn(sInput);
    m_oOut.str("");
    m_oErr.str("");
    return RunWdxcall(oArgs, oIn, m_oOut, m_oErr);
  }

  test::CTempRegistry m_oRegistry;
  std::ostringstream m_oOut;
  std::ostringstream m_oErr;
};

TEST_F(WdxcallRun, OneCallFromTheArgumentsAndItsErrors) {
  const std::string sFile = m_oRegistry.Folder() + "alive";
  struct SCase {
    std::vector<std::string> oArgs;
    int iExitCode;
    const char* szOut;
    const char* szErr;  // a part of the error text
  };
  const SCase aoCases[] = {
      {{"ZuvLifeSign.LifeSign", "ShowLifeSign", sFile}, WDXCALL_OK, "1\n", ""},
      {{"ZuvLifeSign.LifeSign.1", "deletefile", sFile}, WDXCALL_OK, "-1\n", ""},
      {{"ZuvLifeSign.LifeSign", "Delete", sFile}, WDXCALL_OK, "0\n", ""},
      {{"ZuvLifeSign.LifeSign", "Show", sFile},
       WDXCALL_CALL_FAILED,
       "",
       "Show: unknown method (0x80020006)"},
      {{"ZuvLifeSign.LifeSign", "Delete"},
       WDXCALL_CALL_FAILED,
       "",
       "Delete: wrong number of arguments"},
      {{"No.Such"}, WDXCALL_CANNOT_CREATE, "", "cannot create No.Such: class not registered"},
      {{"Gone.Thing", "Go"}, WDXCALL_CANNOT_CREATE, "",
       "cannot create Gone.Thing: component library not found (0x800401F8): "},
      {{}, WDXCALL_BAD_ARGUMENTS, "", "usage: wdxcall"},
      {{"--help"}, WDXCALL_OK, "usage: wdxcall", ""},
  };
  for (const SCase& oCase : aoCases) {
    const std::string sArgs = oCase.oArgs.empty() ? "" : oCase.oArgs.back();
    EXPECT_EQ(Run(oCase.oArgs), oCase.iExitCode) << sArgs << ": " << m_oErr.str();
    EXPECT_EQ(m_oOut.str().rfind(oCase.szOut, 0), 0u) << sArgs << ": " << m_oOut.str();
    EXPECT_NE(m_oErr.str().find(oCase.szErr), std::string::npos) << sArgs << ": " << m_oErr.str();
    if (*oCase.szErr == '\0') {
      EXPECT_EQ(m_oErr.str(), "") << sArgs;
    }
  }
}

TEST_F(WdxcallRun, LinesShareOneObjectAndGoOnAfterAnError) {
  const std::string sFile = m_oRegistry.Folder() + "alive";
  const std::string sInput =
      "# life sign\n"
      "ShowLifeSign '" +
      sFile +
      "'\n"
      "\n"
      "Nope 1\n"
      "CreateOrModify \"" +
      sFile +
      "\n"
      "CreateOrModify " +
      sFile +
      " extra\n"
      "DeleteFile " +
      sFile +
      "\n"
      "Delete " +
      sFile + "\n";
  EXPECT_EQ(Run({"ZuvLifeSign.LifeSign"}, sInput), WDXCALL_CALL_FAILED);
  EXPECT_EQ(m_oOut.str(), "1\n-1\n0\n");
  EXPECT_EQ(m_oErr.str(),
            "wdxcall: line 4: Nope: unknown method (0x80020006)\n"
            "wdxcall: line 5: unclosed quote \"\n"
            "wdxcall: line 6: CreateOrModify: wrong number of arguments (0x8002000E)\n");
  EXPECT_EQ(Run({"ZuvLifeSign.LifeSign"}, "ShowLifeSign " + sFile + "\r\n"), WDXCALL_OK);
  EXPECT_EQ(m_oOut.str(), "1\n");
}

}  // namespace
}  // namespace wdx
