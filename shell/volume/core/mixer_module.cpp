#include "shell/volume/core/mixer_module.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace tw::volume {
namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::int32_t ClampToInt32(double x) {
  if (std::isnan(x)) return 0;
  if (x <= static_cast<double>(kInt32Min)) return static_cast<std::int32_t>(kInt32Min);
  if (x >= static_cast<double>(kInt32Max)) return static_cast<std::int32_t>(kInt32Max);
  return static_cast<std::int32_t>(x);
}

struct SlotLine {
  int slot;
  std::uint32_t componentType;
};

// The order in which the volume (and then the mute) controls are looked up.
constexpr SlotLine kLookupOrder[] = {
    {0, kComponentSpeakers},     {2, kComponentMicrophone}, {6, kComponentAuxiliary},
    {4, kComponentCompactDisc},  {3, kComponentSynthesizer}, {5, kComponentWaveOut},
    {1, kComponentLineIn},
};

}  // namespace

double RoundHalfEven(double x) {
  double lower = std::floor(x);
  double diff = x - lower;
  if (diff > 0.5) return lower + 1.0;
  if (diff < 0.5) return lower;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

bool Module2::OpenMixer(std::int32_t id) {
  const std::int64_t count = device_.GetNumDevs();
  if (id < 0 || id > count - 1) return false;

  MixerHandle opened = 0;
  if (device_.Open(static_cast<std::uint32_t>(id), &opened) != kMixerOk || opened == 0) return false;
  if (hMixer_ != 0 && hMixer_ != opened) device_.Close(hMixer_);
  hMixer_ = opened;

  // A line or control the device lacks leaves its record as it was.
  for (const SlotLine& line : kLookupOrder)
    GetMixerControl(hMixer_, line.componentType, kControlVolume, MixerControls_[line.slot]);
  for (const SlotLine& line : kLookupOrder)
    GetMixerControl(hMixer_, line.componentType, kControlMute, MixerControls_[line.slot + kLineCount]);
  return true;
}

void Module2::CloseMixer() {
  if (hMixer_ != 0) device_.Close(hMixer_);
  hMixer_ = 0;
  written_.clear();  // what was written went to that mixer
}

bool Module2::GetMixerControl(MixerHandle mixer, std::uint32_t componentType, std::uint32_t controlType,
                              MixerControlRecord& record) {
  std::uint32_t lineId = 0;
  if (device_.GetLineInfo(mixer, componentType, &lineId) != kMixerOk) return false;
  MixerControlRecord found;
  if (device_.GetLineControl(mixer, lineId, controlType, &found) != kMixerOk) return false;
  found.valid = true;
  record = found;
  return true;
}

bool Module2::SetControlValue(MixerHandle mixer, const MixerControlRecord& record, std::int32_t value) {
  // A record that names no control must not reach whichever control happens to carry its id.
  if (mixer == 0 || !record.valid) return false;
  std::int64_t v = value;
  if (record.minimum != 0) {
    // 0-100 spread evenly over minimum..maximum, so that reading gives every volume back.
    const std::int64_t range = static_cast<std::int64_t>(record.maximum) - record.minimum;
    const double share = std::clamp<std::int64_t>(v, 0, 100) * static_cast<double>(range) / 100.0;
    v = record.minimum + static_cast<std::int64_t>(RoundHalfEven(share));
  } else if (record.maximum > 100) {
    v *= record.maximum / 100;  // both factors are 32-bit: no overflow in 64
  }
  if (v > record.maximum) v = record.maximum;
  if (v < record.minimum) v = record.minimum;
  if (device_.SetControlDetails(mixer, record.controlId, static_cast<std::int32_t>(v)) != kMixerOk) return false;
  Remember(record.controlId, static_cast<std::int32_t>(v), static_cast<std::int32_t>(std::clamp<std::int64_t>(value, 0, 100)));
  return true;
}

std::int32_t Module2::GetControlValue(MixerHandle mixer, const MixerControlRecord& record) {
  if (mixer == 0 || !record.valid) return 0;
  std::int32_t raw = 0;
  if (device_.GetControlDetails(mixer, record.controlId, &raw) != kMixerOk) raw = 0;
  if (record.minimum != 0) {
    // The inverse of writing.
    const std::int64_t range = static_cast<std::int64_t>(record.maximum) - record.minimum;
    if (range <= 0) return 0;
    const double share = static_cast<double>(static_cast<std::int64_t>(raw) - record.minimum) * 100.0 / range;
    return ClampToInt32(RoundHalfEven(std::clamp(share, 0.0, 100.0)));
  }
  if (record.maximum <= 100) return raw;
  // The whole factor leaves the top of the range unwritten (0..255 is written 0..200), so a volume
  // we wrote is recognised by its raw value and read back as itself; any other level, set by
  // another program or the system, reads as its share of the range.
  if (const Written* w = Recall(record.controlId); w && w->raw == raw) return w->volume;
  const double share = static_cast<double>(raw) * 100.0 / record.maximum;
  return ClampToInt32(RoundHalfEven(std::clamp(share, 0.0, 100.0)));
}

void Module2::Remember(std::uint32_t controlId, std::int32_t raw, std::int32_t volume) {
  for (Written& w : written_) {
    if (w.controlId == controlId) {
      w.raw = raw;
      w.volume = volume;
      return;
    }
  }
  written_.push_back({controlId, raw, volume});
}

const Module2::Written* Module2::Recall(std::uint32_t controlId) const {
  for (const Written& w : written_) {
    if (w.controlId == controlId) return &w;
  }
  return nullptr;
}

void Module2::CheckSlot(int slot) {
  if (slot < 0 || slot >= kSlotCount) throw std::out_of_range("mixer control slot out of range");
}

const MixerControlRecord& Module2::MixerControls(int slot) const {
  CheckSlot(slot);
  return MixerControls_[static_cast<std::size_t>(slot)];
}

void Module2::SetSlotVolume(int slot, std::int32_t value) {
  CheckSlot(slot);
  SetControlValue(hMixer_, MixerControls_[static_cast<std::size_t>(slot)], value);
}

std::int32_t Module2::GetSlotVolume(int slot) {
  CheckSlot(slot);
  return GetControlValue(hMixer_, MixerControls_[static_cast<std::size_t>(slot)]);
}

void Module2::SetSlotMute(int slot, VBool flag) {
  CheckSlot(slot);
  SetControlValue(hMixer_, MixerControls_[static_cast<std::size_t>(slot)], std::abs(static_cast<int>(flag)));
}

VBool Module2::GetSlotMute(int slot) {
  CheckSlot(slot);
  return ToVBool(GetControlValue(hMixer_, MixerControls_[static_cast<std::size_t>(slot)]) != 0);
}

void Module2::AddUser() {
  ++users_;
  if (hMixer_ == 0) OpenMixer(0);
}

void Module2::RemoveUser() {
  if (users_ > 0 && --users_ == 0) CloseMixer();
}

}  // namespace tw::volume
