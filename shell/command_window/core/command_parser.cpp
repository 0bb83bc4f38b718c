#include "shell/command_window/core/command_parser.h"

#include <limits>

#include "common/core/text.h"

namespace tw::command {
namespace {

std::u16string_view TrimBlanks(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

Command ParseCommand(std::u16string_view text) {
  if (text == kIdleText) return {Action::Idle, 0};
  std::u16string s = AsciiLower(text);
  s = ReplaceAll(s, u"\"", u"");
  s = ReplaceAll(s, u"qorzentro://", u"");
  s = ReplaceAll(s, u"/", u"");

  const std::size_t bar = s.rfind(u'|');
  if (bar == std::u16string::npos) return {};
  std::optional<std::int32_t> n = ParseInt32(TrimBlanks(std::u16string_view(s).substr(bar + 1)));
  if (!n || *n == std::numeric_limits<std::int32_t>::max()) return {};

  std::u16string_view name = std::u16string_view(s).substr(0, bar);
  if (name == u"sub4") return {Action::DeleteFavorite, *n + 1};
  if (name == u"sub3") return {Action::DeleteLocal, *n + 1};
  return {};
}

Outcome HandleText(FileSystem& fs, const AnsiCodec& codec, std::u16string_view installFolder,
                   std::u16string_view text) {
  Outcome out;
  Command cmd = ParseCommand(text);
  if (cmd.action == Action::Idle) return out;
  out.resetBox = true;
  if (cmd.action == Action::Ignore) return out;

  const bool favorites = cmd.action == Action::DeleteFavorite;
  out.deleted = lists::DelXMLnode(fs, codec, installFolder, favorites ? lists::kFavoritesFile : lists::kLocalFile,
                                  cmd.index);
  if (*out.deleted == lists::DeleteResult::Deleted || *out.deleted == lists::DeleteResult::NothingToDelete) {
    out.turn = favorites ? Turn::Sub4 : Turn::Sub3;
    out.refreshLeft = true;
  }
  return out;
}

}  // namespace tw::command
