// Hosting the component library's image button (Corvala.Cmd_) from a container: its published
// dispatch ids and event interface, and the calls every host makes to set it up.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <functional>
#include <string>

#include "common/win/ax_host.h"

namespace tw::win::cmd_button {

inline constexpr DISPID kPictureDown = 0x68030000;
inline constexpr DISPID kPicturePoint = 0x68030001;
inline constexpr DISPID kPicture = 0x68030003;
inline constexpr DISPID kInitCtlSet = 0x60030013;
inline constexpr DISPID kEventClick = 1;
// __Cmd_, the button's event interface.
inline constexpr IID kEvents = {0x6C380CAA, 0xF192, 0x4717, {0x88, 0x4E, 0x6B, 0xC4, 0xF5, 0x5F, 0xFA, 0x38}};

// Creates a Corvala.Cmd_ in `host` at `rc`, runs `onClick` for each Click; fails when the library
// is not registered.
HRESULT Create(AxHost& host, HWND parent, const RECT& rc, std::function<void()> onClick);

// Hands `bitmap` to the button as the picture `id` (by reference). The picture object takes the
// bitmap in every case: the caller no longer owns it.
HRESULT PutPicture(AxHost& host, DISPID id, HBITMAP bitmap);

// Gives the button's own window `caption` as its text: what a screen reader names the button by
// when it has no tooltip.
void SetCaption(AxHost& host, const std::wstring& caption);

}  // namespace tw::win::cmd_button
