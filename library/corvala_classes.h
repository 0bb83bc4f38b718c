// The component library's classes as the server's class table sees them: one creation function
// per class, and the library's module handle for its window classes and its type library.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <unknwn.h>

namespace tw::corvala {

HMODULE Module();

// Corvala.Cmd_ (library/image_button/win).
inline constexpr DWORD kImageButtonMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                                OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                                OLEMISC_SETCLIENTSITEFIRST;
HRESULT CreateImageButton(REFIID iid, void** out);
// Called when the server may unload: drops the image button's window class.
void ReleaseImageButtonClass();

// Corvala.DFiles (library/download_control/win).
inline constexpr DWORD kDownloadControlMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                                    OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                                    OLEMISC_SETCLIENTSITEFIRST;
HRESULT CreateDownloadControl(REFIID iid, void** out);

}  // namespace tw::corvala
