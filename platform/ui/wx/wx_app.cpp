#include "platform/ui/wx/wx_app.h"

#include <clocale>
#include <cstdio>

namespace platform {

namespace {

// The toolkit's own checks report on stderr: a box nobody expects would stop the program.
void ReportToolkitAssert(const wxString& file, int line, const wxString& func,
                         const wxString& cond, const wxString& msg) {
  std::fprintf(stderr, "wx: %s:%d %s: %s %s\n", FromWx(file).c_str(), line, FromWx(func).c_str(),
               FromWx(cond).c_str(), FromWx(msg).c_str());
}

}  // namespace

bool CWxApp::OnInit() {
  SetExitOnFrameDelete(false);
  wxSetAssertHandler(ReportToolkitAssert);
  delete wxLog::SetActiveTarget(new wxLogStderr());
  // Nothing here handles idle or update-UI events; sent to every window after each event the
  // loop takes, they would cost something for every block of a job.
  wxIdleEvent::SetMode(wxIDLE_PROCESS_SPECIFIED);
  wxUpdateUIEvent::SetMode(wxUPDATE_UI_PROCESS_SPECIFIED);
  // The toolkit adopts the user's locale; numbers the program writes keep the C form.
  std::setlocale(LC_NUMERIC, "C");
  return true;
}

int CWxApp::OnExit() {
  delete wxLog::SetActiveTarget(nullptr);
  return wxApp::OnExit();
}

}  // namespace platform
