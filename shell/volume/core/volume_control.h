// VolumeControl: binds one mixer line to a 0-100 volume and a mute flag, polls the device
// every 100 ms and reports changes made elsewhere. It draws nothing; the platform side owns
// the timer and calls Timer1Tick.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "shell/volume/core/mixer_module.h"

namespace tw::volume {

// The control's events. The arguments are by reference: what a handler leaves in them is
// what the control stores afterwards.
class VolumeControlEvents {
 public:
  virtual ~VolumeControlEvents() = default;
  virtual void MuteChanged(VBool& newmute) = 0;
  virtual void VolumeChanged(std::int32_t& NewVolume) = 0;
  // The container is told which property a setter changed ("Enabled", "Volume", "Mute",
  // "DeviceToControl").
  virtual void PropertyChanged(std::u16string_view /*name*/) {}
};

// The polling timer, Timer1: the platform starts or stops a 100 ms timer.
class PollTimer {
 public:
  virtual ~PollTimer() = default;
  virtual void SetPolling(bool enabled) = 0;
};

// Named values kept by the container between sessions.
class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  virtual std::optional<std::int32_t> Read(std::u16string_view key) const = 0;
  virtual void Write(std::u16string_view key, std::int32_t value) = 0;
};

// The shell's instance is kept with volume 23 on the speakers line (0), the rest at defaults.
struct SavedVol2Bag : PropertyBag {
  std::optional<std::int32_t> Read(std::u16string_view key) const override {
    if (key == u"Volume") return 23;
    if (key == u"DeviceToControl") return 0;
    return std::nullopt;
  }
  void Write(std::u16string_view, std::int32_t) override {}
};

class VolumeControl {
 public:
  static constexpr int kPollIntervalMs = 100;
  static constexpr std::int32_t kDefaultDeviceToControl = 5;  // wave-out

  // Joins the shared mixer (opening mixer 0 when none is open). `events` may be null.
  VolumeControl(Module2& module, PollTimer& timer, VolumeControlEvents* events);
  ~VolumeControl();
  VolumeControl(const VolumeControl&) = delete;
  VolumeControl& operator=(const VolumeControl&) = delete;

  // Exactly one of these follows construction: a new instance, or one loaded from a bag.
  void InitProperties();
  void ReadProperties(const PropertyBag& bag);
  // Writes the keys whose values differ from their defaults.
  void WriteProperties(PropertyBag& bag) const;

  VBool Enabled() const { return ToVBool(enabled_); }
  void SetEnabled(VBool New_Enabled);
  std::int32_t Volume() const { return volume_; }
  void SetVolume(std::int32_t New_Volume);
  VBool Mute() const { return mute_; }
  void SetMute(VBool New_mute);
  std::int32_t DeviceToControl() const { return deviceToControl_; }
  // Switches the bound line. Lines are 0-6; another value throws std::out_of_range and
  // changes nothing.
  void SetDeviceToControl(std::int32_t New_DeviceToControl);

  // Starts or stops polling without touching Enabled.
  void ctlTimer(VBool st);
  bool TimerEnabled() const { return timerEnabled_; }

  // One polling step; does nothing while the timer is stopped (a late tick after stopping).
  void Timer1Tick();

  void set_events(VolumeControlEvents* events) { events_ = events; }

 private:
  void SetTimerEnabled(bool on);
  void Notify(std::u16string_view name);
  static bool IsLine(std::int32_t n) { return n >= 0 && n < Module2::kLineCount; }

  Module2& module_;
  PollTimer& timer_;
  VolumeControlEvents* events_;
  bool enabled_ = true;
  std::int32_t volume_ = 0;
  VBool mute_ = kFalse;
  std::int32_t deviceToControl_ = kDefaultDeviceToControl;
  bool timerEnabled_ = false;
};

}  // namespace tw::volume
