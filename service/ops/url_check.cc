#include "service/ops/url_check.h"

#include "service/getter/get_web_page.h"

namespace wdx {

EUrlTest TestUrl(const std::string& sUrl, int iTimeLimitSeconds,
                 const std::function<bool()>& fnCancelled) {
  CGetWebPage oPage;
  if (fnCancelled) oPage.SetCancelCheck(fnCancelled);
  oPage.SetTimeLimit(iTimeLimitSeconds);
  const int iResult = oPage.Go("D", sUrl.c_str());
  if (iResult > 0) return fnCancelled && fnCancelled() ? EUrlTest::kAbandoned : EUrlTest::kNoAnswer;
  return oPage.IsOk() ? EUrlTest::kPassed : EUrlTest::kBadStatus;
}

}  // namespace wdx
