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

// Corvala.DFiles (library/download_control/win).
inline constexpr DWORD kDownloadControlMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                                    OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                                    OLEMISC_SETCLIENTSITEFIRST;
HRESULT CreateDownloadControl(REFIID iid, void** out);

// Window classes the controls register with Module(). The server unregisters them when it may
// unload: a class outlives the library otherwise, with a window procedure that is gone.
inline constexpr wchar_t kImageButtonWindowClass[] = L"CorvalaCmdWindow";
inline constexpr wchar_t kDownloadControlWindowClass[] = L"TwDFilesWindow";

}  // namespace tw::corvala
