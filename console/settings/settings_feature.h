// CSettingsFeature: the settings hub's dialogs in the web console, under /api/settings/.
//
//   GET  /api/settings/<dialog>          the dialog's fields as it opens ("loaded": false when
//                                        the file could not be read: the fields are empty)
//   POST /api/settings/<dialog>          the dialog's OK: {accepted, closed, messages}
//        dialog: required, urls, rurls, programs, phone, options, email, audit
//   POST /api/settings/normalize-url     {text} -> {entry}: the URL lists' "Save"
//   POST /api/settings/email/test        {server} -> {ok, text}: the e-mail dialog's "Test"
//   POST /api/settings/programs/check    {path} -> {ok, path, message}: "New" of a program list
//   GET  /api/settings/programs/browse?folder=/x/  -> {folder, parent, entries [{name, folder}]}
//                                        (no folder: the program folder)
//
// Input that cannot be stored at all (a wrong type, a line too long or not printable ASCII, a
// "[" in a list entry) is refused with 400 and nothing is written.
//
// Threading: the handlers keep no state; each builds its dialog object, and saves exclude one
// another through the settings lock.
#pragma once

#include <string>

#include "console/web/console_api.h"

namespace wdx {

class CSettingsFeature final : public IConsoleFeature {
 public:
  explicit CSettingsFeature(const SConsoleContext& oContext);
  void RegisterApi(IApiRegistry& oRegistry) override;

 private:
  void RegisterLists(IApiRegistry& oRegistry);
  void RegisterDialogs(IApiRegistry& oRegistry);
  void RegisterHelpers(IApiRegistry& oRegistry);

  std::string m_sFolder;
};

}  // namespace wdx
