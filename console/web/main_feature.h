// CMainFeature: the main window in the web console. It runs CWardenixDlg on its window thread
// and serves the window to the page under /api/main/:
//
//   GET  /api/main/state          picture, status list, enabled buttons, box values, flags,
//                                 open message boxes, closing, report progress
//   POST /api/main/press          {button: go|stop|stopService|closeConsole|report}
//   POST /api/main/minutes        {value}       the "Minutes" box lost the focus
//   POST /api/main/log-events     {on}          the "Log Events" box changed
//   POST /api/main/settings-closed              the settings hub was closed
//   POST /api/main/dismiss        {id}          a message box's OK
//
// A press is queued for the window thread, which answers it between its polls; a press of a
// disabled control is refused with 409. When the window closes (CloseConsole) the console quits.
//
// Threading: the handlers run on the server's threads; the window's view and the kept lines and
// message boxes are each guarded by a mutex.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "console/dlg/wardenix_dlg.h"
#include "console/web/console_api.h"

namespace wdx {

class CMainOutput;

class CMainFeature final : public IConsoleFeature {
 public:
  // The window thread starts with RegisterApi.
  CMainFeature(const SConsoleContext& oContext, SDlgSeams oSeams);
  ~CMainFeature() override;
  CMainFeature(const CMainFeature&) = delete;
  CMainFeature& operator=(const CMainFeature&) = delete;

  void RegisterApi(IApiRegistry& oRegistry) override;
  void Shutdown() override;

 private:
  SApiReply State() const;
  SApiReply Press(const SApiRequest& oRequest);
  SApiReply Minutes(const SApiRequest& oRequest);
  SApiReply LogEvents(const SApiRequest& oRequest);
  SApiReply Dismiss(const SApiRequest& oRequest);
  SApiReply Post(SDlgPress oPress);

  std::unique_ptr<CMainOutput> m_pOutput;
  std::unique_ptr<CWardenixDlg> m_pDlg;
};

// The feature for the program folder of the context, with the machine's service control.
std::unique_ptr<IConsoleFeature> CreateMainFeature(
    const SConsoleContext& oContext,
    std::function<std::unique_ptr<IServiceControl>(IConsoleOutput&)> fnCreateServiceControl);

}  // namespace wdx
