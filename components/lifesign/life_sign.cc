#include "components/lifesign/life_sign.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "platform/file_system.h"

namespace wdx {
namespace {

int64_t SystemSeconds() {
  ::tzset();
  const std::time_t tNow = std::time(nullptr);
  return tNow == static_cast<std::time_t>(-1) ? -1 : static_cast<int64_t>(tNow);
}

void Answer(int32_t* plResult, bool bDone, int32_t lTrue) {
  if (plResult != nullptr) *plResult = bDone ? lTrue : 0;
}

struct SFileCloser {
  void operator()(std::FILE* pStream) const { std::fclose(pStream); }
};

}  // namespace

bool CLifeSignFile::Prepare() {
  if (m_pLine == nullptr) m_pLine.reset(new (std::nothrow) char[LIFE_SIGN_LINE_SIZE]);
  return m_pLine != nullptr;
}

bool CLifeSignFile::SetPath(const char* szPath) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  if (std::strlen(szPath) >= static_cast<size_t>(ZUV_MAX_STR_LENGTH)) return false;
  return m_oPath.Assign(szPath);
}

bool CLifeSignFile::Write(int64_t llSeconds) {
  if (m_pLine == nullptr || m_oPath.IsEmpty() || llSeconds < 0) return false;
  const int iLength = std::snprintf(m_pLine.get(), LIFE_SIGN_LINE_SIZE, "%" PRId64 "\n", llSeconds);
  if (iLength <= 0 || iLength >= LIFE_SIGN_LINE_SIZE) return false;
  std::unique_ptr<std::FILE, SFileCloser> pStream(std::fopen(m_oPath.c_str(), "wb"));
  if (pStream == nullptr) return false;
  const bool bWritten = std::fwrite(m_pLine.get(), 1, static_cast<size_t>(iLength),
                                    pStream.get()) == static_cast<size_t>(iLength);
  return std::fclose(pStream.release()) == 0 && bWritten;
}

void CLifeSign::SetClockForTesting(LifeSignClockFn pfnClock) {
  m_pfnClock = pfnClock;
}

bool CLifeSign::WriteLifeSign(const char* szPath) {
  if (!m_bPrepared) m_bPrepared = m_oFile.Prepare();
  if (!m_bPrepared || !m_oFile.SetPath(szPath)) return false;
  return m_oFile.Write(m_pfnClock != nullptr ? m_pfnClock() : SystemSeconds());
}

bool CLifeSign::DeletePath(const char* szPath) {
  return szPath != nullptr && szPath[0] != '\0' && GetFileSystem().DeleteFile(szPath);
}

HRESULT CLifeSign::ShowLifeSign(const char* pcFilePath, int32_t* pbOK) {
  Answer(pbOK, WriteLifeSign(pcFilePath), 1);
  return S_OK;
}

HRESULT CLifeSign::CreateOrModify(const CVariant& pvFilePath, int32_t* plngResult) {
  Answer(plngResult, false, -1);
  std::string sPath;
  if (!DispArgToText(pvFilePath, sPath)) return DISP_E_TYPEMISMATCH;
  Answer(plngResult, WriteLifeSign(sPath.c_str()), -1);
  return S_OK;
}

HRESULT CLifeSign::DeleteFile(const CVariant& pvFilePath, int32_t* plngResult) {
  Answer(plngResult, false, -1);
  std::string sPath;
  if (!DispArgToText(pvFilePath, sPath)) return DISP_E_TYPEMISMATCH;
  Answer(plngResult, DeletePath(sPath.c_str()), -1);
  return S_OK;
}

HRESULT CLifeSign::Delete(const char* pcFilePath, int32_t* pbOK) {
  Answer(pbOK, DeletePath(pcFilePath), 1);
  return S_OK;
}

std::vector<SDispMethod> CLifeSign::GetDispatchTable() {
  return {DispMethod(1, "ShowLifeSign", this, &CLifeSign::ShowLifeSign),
          DispMethod(2, "CreateOrModify", this, &CLifeSign::CreateOrModify),
          DispMethod(3, "DeleteFile", this, &CLifeSign::DeleteFile),
          DispMethod(4, "Delete", this, &CLifeSign::Delete)};
}

}  // namespace wdx
