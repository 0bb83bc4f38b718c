// Plain child containers ("picture boxes") with a background colour, and the labels on them.
#pragma once

#include <windows.h>

#include <string>

#include "common/win/window.h"

namespace tw::shell {

class Panel : public win::Window<Panel> {
 public:
  ~Panel() override;
  // `commandTarget` receives the WM_COMMAND notifications of the panel's children.
  bool Create(HWND parent, COLORREF background, HWND commandTarget);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

 private:
  HBRUSH brush_ = nullptr;
  HWND commandTarget_ = nullptr;
};

// A static text on a panel; clickable ones report STN_CLICKED with their id.
HWND CreateLabel(HWND parent, int id, const std::u16string& text, HFONT font, bool clickable);

}  // namespace tw::shell
