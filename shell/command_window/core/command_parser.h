// The command box of the shell's hidden command window: the grammar of the texts the relay puts
// there ("qorzentro://sub4|3/" in any letter case, possibly in double quotes) and what handling
// one means for the list files and the main window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/core/file_system.h"
#include "shell/command_window/core/game_lists.h"

namespace tw::command {

// The box's text whenever no command is being handled.
inline constexpr std::u16string_view kIdleText = u"Text1";

enum class Action {
  Idle,            // the idle text itself (also the handler's own reset): nothing at all
  Ignore,          // anything that is not a valid command: only the box is reset
  DeleteFavorite,  // sub4|N
  DeleteLocal,     // sub3|N
};

struct Command {
  Action action = Action::Ignore;
  std::int32_t index = 0;  // 1-based record number for DelXMLnode (N + 1)
};

// Lower-cases the text, removes every double quote, then every "qorzentro://", then every "/",
// and splits at the last "|": the name before it, the whole number N after it (blanks around it
// allowed). A missing "|", an N that is not a 32-bit whole number, or an N of 2147483647 (no
// record number follows it) make the command ignored.
Command ParseCommand(std::u16string_view text);

// Which sub-list the left pane is to switch back to after its reload.
enum class Turn { None, Sub4, Sub3 };

struct Outcome {
  bool resetBox = false;       // set the box back to the idle text
  Turn turn = Turn::None;      // the main window sets TurnSub4 / TurnSub3 ...
  bool refreshLeft = false;    // ... and refreshes WebLeft
  std::optional<lists::DeleteResult> deleted;  // set when a list file was worked on
};

// Handles one change of the box's text. A list file that is missing, unreadable, too long or
// cannot be replaced is left as it is and the command has no further effect; nothing is reported.
Outcome HandleText(FileSystem& fs, const AnsiCodec& codec, std::u16string_view installFolder,
                   std::u16string_view text);

}  // namespace tw::command
