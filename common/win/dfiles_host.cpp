#include "common/win/dfiles_host.h"

#include "common/win/ax_host.h"
#include "common/win/com_dispatch.h"
#include "common/win/text_win.h"

namespace tw::win::dfiles {
namespace {

void SetText(Variant& v, const std::u16string& s) {
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = ToBstr(s);
}

}  // namespace

HRESULT BeginDownload(AxHost& host, const std::u16string& url, const std::u16string& folder,
                      const std::u16string& fileName) {
  Variant u, f, n, started;
  SetText(u, url);
  SetText(f, folder);
  SetText(n, fileName);
  // Every call is made; the first refusal is the answer.
  const HRESULT results[] = {host.Put(kFileUrl, u), host.Put(kSaveFilePath, f), host.Call(kSetFileName, &n, 1),
                             host.Call(kBeginDownload, nullptr, 0, &started)};
  for (HRESULT hr : results)
    if (FAILED(hr)) return hr;
  return S_OK;
}

}  // namespace tw::win::dfiles
