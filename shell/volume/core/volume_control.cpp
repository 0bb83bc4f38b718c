#include "shell/volume/core/volume_control.h"

#include <stdexcept>

namespace tw::volume {

VolumeControl::VolumeControl(Module2& module, PollTimer& timer, VolumeControlEvents* events)
    : module_(module), timer_(timer), events_(events) {
  module_.AddUser();
}

VolumeControl::~VolumeControl() {
  if (timerEnabled_) timer_.SetPolling(false);
  module_.RemoveUser();
}

void VolumeControl::InitProperties() {
  deviceToControl_ = kDefaultDeviceToControl;
  volume_ = module_.GetSlotVolume(deviceToControl_);
  mute_ = module_.GetSlotMute(deviceToControl_ + Module2::kLineCount);
  SetTimerEnabled(enabled_);
}

void VolumeControl::ReadProperties(const PropertyBag& bag) {
  enabled_ = bag.Read(u"Enabled").value_or(kTrue) != 0;
  volume_ = bag.Read(u"Volume").value_or(0);
  mute_ = ToVBool(bag.Read(u"mute").value_or(kFalse) != 0);
  // A stored line outside 0-6 would make every poll fail: fall back to the default line.
  const std::int32_t line = bag.Read(u"DeviceToControl").value_or(kDefaultDeviceToControl);
  deviceToControl_ = IsLine(line) ? line : kDefaultDeviceToControl;
  SetTimerEnabled(enabled_);
}

void VolumeControl::WriteProperties(PropertyBag& bag) const {
  if (!enabled_) bag.Write(u"Enabled", kFalse);
  if (volume_ != 0) bag.Write(u"Volume", volume_);
  if (mute_ != kFalse) bag.Write(u"mute", mute_);
  if (deviceToControl_ != kDefaultDeviceToControl) bag.Write(u"DeviceToControl", deviceToControl_);
}

void VolumeControl::SetEnabled(VBool New_Enabled) {
  enabled_ = New_Enabled != 0;
  Notify(u"Enabled");
  SetTimerEnabled(enabled_);
}

void VolumeControl::SetVolume(std::int32_t New_Volume) {
  if (!enabled_) return;
  volume_ = New_Volume;
  module_.SetSlotVolume(deviceToControl_, New_Volume);
  Notify(u"Volume");
}

void VolumeControl::SetMute(VBool New_mute) {
  if (!enabled_) return;
  mute_ = New_mute;
  module_.SetSlotMute(deviceToControl_ + Module2::kLineCount, New_mute);
  Notify(u"Mute");
}

void VolumeControl::SetDeviceToControl(std::int32_t New_DeviceToControl) {
  if (!enabled_) return;
  if (!IsLine(New_DeviceToControl)) throw std::out_of_range("DeviceToControl must name a line 0-6");
  deviceToControl_ = New_DeviceToControl;
  Notify(u"DeviceToControl");

  std::int32_t v = module_.GetSlotVolume(deviceToControl_);
  if (events_) events_->VolumeChanged(v);
  volume_ = v;
  VBool m = module_.GetSlotMute(deviceToControl_ + Module2::kLineCount);
  if (events_) events_->MuteChanged(m);
  mute_ = m;
}

void VolumeControl::ctlTimer(VBool st) { SetTimerEnabled(st != 0); }

void VolumeControl::Timer1Tick() {
  if (!timerEnabled_) return;
  std::int32_t v = module_.GetSlotVolume(deviceToControl_);
  if (v != volume_ && events_) events_->VolumeChanged(v);
  volume_ = v;
  VBool m = module_.GetSlotMute(deviceToControl_ + Module2::kLineCount);
  if (m != mute_ && events_) events_->MuteChanged(m);
  mute_ = m;
}

void VolumeControl::SetTimerEnabled(bool on) {
  timerEnabled_ = on;
  timer_.SetPolling(on);
}

void VolumeControl::Notify(std::u16string_view name) {
  if (events_) events_->PropertyChanged(name);
}

}  // namespace tw::volume
