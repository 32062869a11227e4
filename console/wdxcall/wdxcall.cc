#include "console/wdxcall/wdxcall.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <ostream>

namespace wdx {
namespace {

constexpr const char* kUsage =
    "usage: wdxcall PROGID METHOD [ARG...]   (one call)\n"
    "       wdxcall PROGID                   (one call a line from standard input)\n"
    "Decimal integers are passed as numbers, everything else as text; quote digits to pass "
    "them as text.\n";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Appends the double-quoted part that starts at sLine[uOpen]; the index of its closing quote,
// or npos when there is none.
size_t AppendDoubleQuoted(const std::string& sLine, size_t uOpen, std::string& sText) {
  for (size_t i = uOpen + 1; i < sLine.size(); ++i) {
    if (sLine[i] == '"') return i;
    if (sLine[i] == '\\' && i + 1 < sLine.size() && (sLine[i + 1] == '"' || sLine[i + 1] == '\\')) {
      ++i;
    }
    sText += sLine[i];
  }
  return std::string::npos;
}

bool IsCommentOrEmpty(const std::string& sLine) {
  for (char c : sLine) {
    if (!IsBlank(c)) return c == '#';
  }
  return true;
}

// Calls and prints; false (error already written) when the call failed.
bool CallAndPrint(IDispatch& oObject, const std::vector<SCallWord>& oWords,
                  const std::string& sWhere, std::ostream& oOut, std::ostream& oErr) {
  if (oWords.empty()) return true;
  std::vector<CVariant> aArgs;
  for (size_t i = 1; i < oWords.size(); ++i) aArgs.push_back(ArgumentVariant(oWords[i]));
  std::string sResult;
  std::string sError;
  if (!CallByName(oObject, oWords[0].m_sText, aArgs, sResult, sError)) {
    oErr << "wdxcall: " << sWhere << sError << std::endl;
    return false;
  }
  oOut << sResult << std::endl;
  return true;
}

int RunLines(IDispatch& oObject, std::istream& oIn, std::ostream& oOut, std::ostream& oErr) {
  int iExitCode = WDXCALL_OK;
  std::string sLine;
  for (long lLine = 1; std::getline(oIn, sLine); ++lLine) {
    if (IsCommentOrEmpty(sLine)) continue;
    const std::string sWhere = "line " + std::to_string(lLine) + ": ";
    std::vector<SCallWord> oWords;
    std::string sError;
    if (!SplitCallLine(sLine, oWords, sError)) {
      oErr << "wdxcall: " << sWhere << sError << std::endl;
      iExitCode = WDXCALL_CALL_FAILED;
    } else if (!CallAndPrint(oObject, oWords, sWhere, oOut, oErr)) {
      iExitCode = WDXCALL_CALL_FAILED;
    }
  }
  return iExitCode;
}

// The component layer's reason for a failed creation where it says more than the code (the
// library's path, the loader's text), without its code.
std::string CreationDetail(HRESULT hr) {
  if (hr == REGDB_E_CLASSNOTREG || hr == E_NOINTERFACE) return "";
  std::string sDetail = GetComponentError();
  const size_t uCode = sDetail.rfind(" (0x");
  if (uCode != std::string::npos) sDetail.erase(uCode);
  return sDetail.empty() ? "" : ": " + sDetail;
}

}  // namespace

bool SplitCallLine(const std::string& sLine, std::vector<SCallWord>& oWords, std::string& sError) {
  oWords.clear();
  SCallWord oWord;
  bool bInWord = false;
  for (size_t i = 0; i < sLine.size(); ++i) {
    const char c = sLine[i];
    if (IsBlank(c)) {
      if (bInWord) oWords.push_back(std::move(oWord));
      oWord = SCallWord();
      bInWord = false;
      continue;
    }
    bInWord = true;
    if (c == '\\') {
      if (++i == sLine.size()) {
        sError = "a backslash ends the line";
        return false;
      }
      oWord.m_sText += sLine[i];
      oWord.m_bQuoted = true;
    } else if (c == '\'' || c == '"') {
      const size_t uClose =
          c == '"' ? AppendDoubleQuoted(sLine, i, oWord.m_sText) : sLine.find('\'', i + 1);
      if (uClose == std::string::npos) {
        sError = std::string("unclosed quote ") + c;
        return false;
      }
      if (c == '\'') oWord.m_sText.append(sLine, i + 1, uClose - i - 1);
      oWord.m_bQuoted = true;
      i = uClose;
    } else {
      oWord.m_sText += c;
    }
  }
  if (bInWord) oWords.push_back(std::move(oWord));
  return true;
}

SCallWord CommandLineWord(const std::string& sArgument) {
  if (sArgument.size() >= 2 && sArgument.front() == '"' && sArgument.back() == '"') {
    return {sArgument.substr(1, sArgument.size() - 2), true};
  }
  return {sArgument, false};
}

CVariant ArgumentVariant(const SCallWord& oWord) {
  const std::string& sText = oWord.m_sText;
  const size_t uDigits = !sText.empty() && sText[0] == '-' ? 1 : 0;
  if (oWord.m_bQuoted || sText.size() == uDigits ||
      sText.find_first_not_of("0123456789", uDigits) != std::string::npos) {
    return CVariant(sText);
  }
  errno = 0;
  const long long llValue = std::strtoll(sText.c_str(), nullptr, 10);
  if (errno != 0 || llValue < INT32_MIN || llValue > INT32_MAX) return CVariant(sText);
  return CVariant(static_cast<int32_t>(llValue));
}

std::string ResultText(const CVariant& vResult) {
  CVariant vText = vResult;
  if (!vText.ChangeTypeToString()) return "";
  std::string sText = vText.GetString();
  for (char& c : sText) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return sText;
}

std::string DescribeFailure(HRESULT hr) {
  struct SName {
    HRESULT hr;
    const char* szText;
  };
  static const SName aoNames[] = {
      {DISP_E_UNKNOWNNAME, "unknown method"},
      {DISP_E_MEMBERNOTFOUND, "no such method"},
      {DISP_E_BADPARAMCOUNT, "wrong number of arguments"},
      {DISP_E_TYPEMISMATCH, "an argument has the wrong type"},
      {REGDB_E_CLASSNOTREG, "class not registered"},
      {CLASS_E_CLASSNOTAVAILABLE, "class not available from its library"},
      {CO_E_DLLNOTFOUND, "component library not found"},
      {CO_E_ERRORINDLL, "component library cannot be loaded"},
      {E_NOINTERFACE, "the component cannot be called by method name"},
      {E_OUTOFMEMORY, "out of memory"},
  };
  std::string sText = "failed";
  for (const SName& oName : aoNames) {
    if (oName.hr == hr) sText = oName.szText;
  }
  char aCode[16];
  std::snprintf(aCode, sizeof(aCode), "0x%08X", static_cast<unsigned>(hr));
  return sText + " (" + aCode + ")";
}

bool CallByName(IDispatch& oObject, const std::string& sMethod, const std::vector<CVariant>& aArgs,
                std::string& sResult, std::string& sError) {
  int32_t lDispId = 0;
  HRESULT hr = oObject.GetIDOfName(sMethod, lDispId);
  if (Succeeded(hr)) {
    CVariant vResult;
    hr = oObject.Invoke(lDispId, aArgs, vResult);
    if (Succeeded(hr)) {
      sResult = ResultText(vResult);
      return true;
    }
  }
  sError = sMethod + ": " + DescribeFailure(hr);
  return false;
}

int RunWdxcall(const std::vector<std::string>& oArgs, std::istream& oIn, std::ostream& oOut,
               std::ostream& oErr) {
  if (oArgs.empty() || oArgs[0].empty() || oArgs[0][0] == '-') {
    const bool bHelp = !oArgs.empty() && (oArgs[0] == "-h" || oArgs[0] == "--help");
    (bHelp ? oOut : oErr) << kUsage;
    return bHelp ? WDXCALL_OK : WDXCALL_BAD_ARGUMENTS;
  }
  int iExitCode = WDXCALL_OK;
  {
    CInterfacePtr<IDispatch> pObject;
    const HRESULT hr = CreateInstance(oArgs[0], IID_IDispatch, pObject.Receive());
    if (!Succeeded(hr) || !pObject) {
      oErr << "wdxcall: cannot create " << oArgs[0] << ": " << DescribeFailure(hr)
           << CreationDetail(hr) << std::endl;
      return WDXCALL_CANNOT_CREATE;
    }
    if (oArgs.size() == 1) {
      iExitCode = RunLines(*pObject.Get(), oIn, oOut, oErr);
    } else {
      std::vector<SCallWord> oWords = {{oArgs[1], false}};
      for (size_t i = 2; i < oArgs.size(); ++i) oWords.push_back(CommandLineWord(oArgs[i]));
      if (!CallAndPrint(*pObject.Get(), oWords, "", oOut, oErr)) iExitCode = WDXCALL_CALL_FAILED;
    }
  }
  FreeUnusedLibraries();
  return iExitCode;
}

}  // namespace wdx
