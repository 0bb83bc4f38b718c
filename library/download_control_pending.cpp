// Corvala.DFiles is registered with the library; until the download control's Windows part is
// built into it, creating one reports that the class is not available.
#include "library/corvala_classes.h"

namespace tw::corvala {

HRESULT CreateDownloadControl(REFIID /*iid*/, void** out) {
  if (out) *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace tw::corvala
