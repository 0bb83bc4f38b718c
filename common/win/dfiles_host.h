// The component library's download control (Corvala.DFiles): its published dispatch ids, which
// the control serves and its hosts call, and the calls a host makes to start a transfer.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace tw::win {

class AxHost;

namespace dfiles {

// _DFiles, the control's dispatch interface.
inline constexpr DISPID kProperty = 0x68030000;
inline constexpr DISPID kMethod = 0x60030000;
inline constexpr DISPID kShowProgress = kProperty + 0;
inline constexpr DISPID kRenameOnRedirect = kProperty + 1;
inline constexpr DISPID kFailOnRedirect = kProperty + 2;
inline constexpr DISPID kSaveFilePath = kProperty + 3;
inline constexpr DISPID kSaveFileName = kProperty + 4;
inline constexpr DISPID kFileUrl = kProperty + 5;
inline constexpr DISPID kFileSize = kProperty + 6;
inline constexpr DISPID kRedirectFile = kProperty + 7;
inline constexpr DISPID kMIMEType = kProperty + 8;
inline constexpr DISPID kConnectionAddress = kProperty + 9;
inline constexpr DISPID kCacheFile = kProperty + 10;
inline constexpr DISPID kBytesRead = kProperty + 11;
inline constexpr DISPID kForeColor = kProperty + 12;
inline constexpr DISPID kBeginDownload = kMethod + 25;
inline constexpr DISPID kCancelDownload = kMethod + 28;
inline constexpr DISPID kSetFileName = kMethod + 31;
// __DFiles, its events.
inline constexpr DISPID kDLProgress = 1;
inline constexpr DISPID kDLCanceled = 2;
inline constexpr DISPID kDLError = 3;
inline constexpr DISPID kDLComplete = 4;
inline constexpr DISPID kDLConnected = 5;
inline constexpr DISPID kDLRedirect = 6;
inline constexpr DISPID kDLCacheFile = 7;
inline constexpr DISPID kDLMIMEType = 8;
inline constexpr DISPID kDLFileSize = 9;
inline constexpr DISPID kDLBeginDownload = 10;
inline constexpr DISPID kGetHtml = 11;

// Starts the control in `host` fetching `url` into the folder `folder` as `fileName`, without
// waiting: the result arrives as the control's events. Fails when a call is refused.
HRESULT BeginDownload(AxHost& host, const std::u16string& url, const std::u16string& folder,
                      const std::u16string& fileName);

}  // namespace dfiles
}  // namespace tw::win
