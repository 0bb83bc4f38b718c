#include "library/download_control/core/dfiles_settings.h"

namespace tw::download {

bool ValidBorderStyle(std::int32_t value) { return value == 0 || value == 1; }

DFilesSettings ReadSettings(SettingsBag& bag) {
  DFilesSettings s;
  s.backColor = bag.ReadColor(u"BackColor").value_or(s.backColor);
  s.foreColor = bag.ReadColor(u"ForeColor").value_or(s.foreColor);
  s.enabled = bag.ReadBool(u"Enabled").value_or(s.enabled);
  if (auto border = bag.ReadInt16(u"BorderStyle"); border && ValidBorderStyle(*border)) s.borderStyle = *border;
  s.fileUrl = bag.ReadText(u"FileURL").value_or(s.fileUrl);
  s.saveFilePath = bag.ReadText(u"SaveFilePath").value_or(s.saveFilePath);
  s.failOnRedirect = bag.ReadBool(u"FailOnRedirect").value_or(s.failOnRedirect);
  s.renameOnRedirect = bag.ReadBool(u"RenameOnRedirect").value_or(s.renameOnRedirect);
  s.showProgress = bag.ReadBool(u"ShowProgress").value_or(s.showProgress);
  return s;
}

void WriteSettings(const DFilesSettings& s, SettingsBag& bag) {
  const DFilesSettings d;
  if (s.backColor != d.backColor) bag.WriteColor(u"BackColor", s.backColor);
  if (s.foreColor != d.foreColor) bag.WriteColor(u"ForeColor", s.foreColor);
  if (s.enabled != d.enabled) bag.WriteBool(u"Enabled", s.enabled);
  if (s.borderStyle != d.borderStyle) bag.WriteInt16(u"BorderStyle", s.borderStyle);
  if (s.fileUrl != d.fileUrl) bag.WriteText(u"FileURL", s.fileUrl);
  if (s.saveFilePath != d.saveFilePath) bag.WriteText(u"SaveFilePath", s.saveFilePath);
  if (s.failOnRedirect != d.failOnRedirect) bag.WriteBool(u"FailOnRedirect", s.failOnRedirect);
  if (s.renameOnRedirect != d.renameOnRedirect) bag.WriteBool(u"RenameOnRedirect", s.renameOnRedirect);
  if (s.showProgress != d.showProgress) bag.WriteBool(u"ShowProgress", s.showProgress);
}

}  // namespace tw::download
