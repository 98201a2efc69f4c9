// CWxApp: the toolkit's application object. The program runs its own modal dialogs, so the
// object only starts the toolkit; it never runs a main loop of its own and never ends the
// program when its last window closes.
#pragma once

#include "platform/ui/wx/wx_common.h"

namespace platform {

class CWxApp : public wxApp {
 public:
  bool OnInit() override;
  int OnExit() override;
};

}  // namespace platform
