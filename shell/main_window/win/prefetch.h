// The libraries the first paint needs, loaded ahead on a short-lived thread.
#pragma once

namespace tw::shell {

// Starts loading the in-process servers of the WebBrowser control and of the image button while
// the user-interface thread creates the window, so that the panes and the toolbar find them
// already in memory. The libraries stay loaded for the process's life (the window uses them
// throughout). Nothing depends on this having run: a server that is missing or not registered
// is simply not loaded here, and COM reports it where the control is created.
void PrefetchControlLibraries();

}  // namespace tw::shell
