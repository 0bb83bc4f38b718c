// What our drawn windows tell a screen reader: one IAccessible object per window, answering
// WM_GETOBJECT for the client area. Its role, name, state, value and default action come from the
// window (an AccessibleSource); location, parent and navigation come from the platform's standard
// object for the same window; its children are the window's visible child windows unless the
// source lists others.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <string>
#include <vector>

namespace tw::win {

struct AccInfo {
  long role = ROLE_SYSTEM_CLIENT;
  std::wstring name;
  long state = 0;          // STATE_SYSTEM_* bits; invisible and unavailable are added from the window
  std::wstring value;      // empty: none
  std::wstring description;  // empty: none
  std::wstring action;     // the default action's name; empty: none
};

class AccessibleSource {
 public:
  virtual ~AccessibleSource() = default;
  virtual void AccDescribe(AccInfo& info) = 0;
  // Does what a click does; false when there is nothing to do.
  virtual bool AccDoDefault() { return false; }
  // The windows shown as children, in order; the default is the visible child windows.
  virtual std::vector<HWND> AccChildren(HWND self);
};

// The source's side of the object: answers WM_GETOBJECT and cuts the object off from the source
// when either goes (an object a reader still holds then reports itself disconnected).
class AccessibleLink {
 public:
  AccessibleLink() = default;
  AccessibleLink(const AccessibleLink&) = delete;
  AccessibleLink& operator=(const AccessibleLink&) = delete;
  ~AccessibleLink() { Disconnect(); }

  // The window's messages for the object, first in its window procedure: WM_GETOBJECT for
  // OBJID_CLIENT, and the default action a reader asked for (run from the message loop, not
  // inside the reader's call). False for every other message.
  bool Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, AccessibleSource& source, LRESULT& result);
  void Disconnect();

 private:
  class Object;
  Object* object_ = nullptr;
};

// Tells listening readers that a property of `hwnd`'s client object changed (EVENT_OBJECT_*).
void AccNotify(HWND hwnd, DWORD event);

// A static label or image made accessible through subclassing: a link (reports STN_CLICKED to
// its parent as a click would) or a push button named `name` (its window text when empty).
void MakeAccessibleStatic(HWND label, long role, const std::wstring& name = {});

}  // namespace tw::win
