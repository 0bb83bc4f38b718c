// The toolbar's "add to favourites" / "record as downloaded" commands on the platform: WriteXML on
// the list file beside the program, the left pane told to reload the list, then the message box.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "shell/command_window/core/game_lists.h"

namespace tw::shell {

// Adds title and url to the list, runs the reload script in the left pane (through
// runInLeftPane, before the message opens, so the new entry is visible behind it) when the record
// was written, and shows the result's message with the product name as title. Returns whether the
// record was written.
bool WriteXmlWithMessage(HWND owner, lists::GameList list, const std::u16string& title, const std::u16string& url,
                         const std::function<void(const std::u16string& script)>& runInLeftPane);

}  // namespace tw::shell
