// Module2: the process-wide open mixer and the table of the controls looked up when it was
// opened. Volumes are exchanged on a 0-100 scale. A control whose minimum is 0 is scaled by the
// whole factor maximum / 100 when its maximum is above 100 and used as it is otherwise; any other
// control has 0-100 spread evenly over its range. A volume written reads back as itself; a level
// set elsewhere reads as its share of the range, to the nearest whole number.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "shell/volume/core/mixer_device.h"

namespace tw::volume {

// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double x);

class Module2 {
 public:
  static constexpr int kSlotCount = 21;  // slots 0-20
  static constexpr int kLineCount = 7;   // volume slots 0-6; mute slot = volume slot + 7

  explicit Module2(MixerDevice& device) : device_(device) {}
  Module2(const Module2&) = delete;
  Module2& operator=(const Module2&) = delete;

  // Opens mixer `id` and fills slots 0-13. False when the id is out of range or the device
  // refuses; the open mixer, if any, is then kept. A successful open replaces (and closes)
  // the mixer that was open before.
  bool OpenMixer(std::int32_t id);
  void CloseMixer();

  bool GetMixerControl(MixerHandle mixer, std::uint32_t componentType, std::uint32_t controlType,
                       MixerControlRecord& record);
  bool SetControlValue(MixerHandle mixer, const MixerControlRecord& record, std::int32_t value);
  std::int32_t GetControlValue(MixerHandle mixer, const MixerControlRecord& record);

  // Slot operations; a slot outside 0-20 throws std::out_of_range.
  void SetSlotVolume(int slot, std::int32_t value);
  std::int32_t GetSlotVolume(int slot);
  void SetSlotMute(int slot, VBool flag);
  VBool GetSlotMute(int slot);

  MixerHandle hMixer() const { return hMixer_; }
  const MixerControlRecord& MixerControls(int slot) const;

  // Users of the shared mixer: the first opens mixer 0 (or retries while none is open), the
  // last one out closes it.
  void AddUser();
  void RemoveUser();

 private:
  static void CheckSlot(int slot);

  // The last raw value written to each control and the volume it was written for.
  struct Written {
    std::uint32_t controlId;
    std::int32_t raw;
    std::int32_t volume;
  };
  void Remember(std::uint32_t controlId, std::int32_t raw, std::int32_t volume);
  const Written* Recall(std::uint32_t controlId) const;

  MixerDevice& device_;
  MixerHandle hMixer_ = 0;
  std::array<MixerControlRecord, kSlotCount> MixerControls_{};
  int users_ = 0;
  std::vector<Written> written_;
};

}  // namespace tw::volume
