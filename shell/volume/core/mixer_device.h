// The audio mixer as the volume core sees it: a few calls of the platform's mixer interface,
// with the platform's component and control type values. The Windows side implements it on
// winmm; the unit tests implement it with a simulated device.
#pragma once

#include <cstdint>

namespace tw::volume {

// Booleans at component boundaries: 16 bits, true = -1, false = 0.
using VBool = std::int16_t;
inline constexpr VBool kTrue = -1;
inline constexpr VBool kFalse = 0;
constexpr VBool ToVBool(bool b) { return b ? kTrue : kFalse; }

// An open mixer; 0 means none.
using MixerHandle = std::uintptr_t;

// Result codes follow the platform: 0 is success.
inline constexpr std::uint32_t kMixerOk = 0;

// Line component types.
inline constexpr std::uint32_t kComponentSpeakers = 4;
inline constexpr std::uint32_t kComponentLineIn = 0x1002;
inline constexpr std::uint32_t kComponentMicrophone = 0x1003;
inline constexpr std::uint32_t kComponentSynthesizer = 0x1004;
inline constexpr std::uint32_t kComponentCompactDisc = 0x1005;
inline constexpr std::uint32_t kComponentWaveOut = 0x1008;
inline constexpr std::uint32_t kComponentAuxiliary = 0x1009;

// Control types.
inline constexpr std::uint32_t kControlVolume = 0x50030001;
inline constexpr std::uint32_t kControlMute = 0x20010002;

// The fields of one mixer control description that the module uses. `valid` is set only by
// a successful look-up: a record that was never filled names no control of the device.
struct MixerControlRecord {
  bool valid = false;
  std::uint32_t controlId = 0;
  std::uint32_t controlType = 0;
  std::int32_t minimum = 0;
  std::int32_t maximum = 0;
};

class MixerDevice {
 public:
  virtual ~MixerDevice() = default;
  virtual std::uint32_t GetNumDevs() = 0;
  // Opens mixer `id`; on success stores the handle.
  virtual std::uint32_t Open(std::uint32_t id, MixerHandle* handle) = 0;
  virtual std::uint32_t Close(MixerHandle handle) = 0;
  // Finds the line of a component type and returns its line identifier.
  virtual std::uint32_t GetLineInfo(MixerHandle handle, std::uint32_t componentType, std::uint32_t* lineId) = 0;
  // Finds the control of a type on a line. On success fills id, type, minimum and maximum.
  virtual std::uint32_t GetLineControl(MixerHandle handle, std::uint32_t lineId, std::uint32_t controlType,
                                       MixerControlRecord* record) = 0;
  // One value that applies to all channels alike.
  virtual std::uint32_t GetControlDetails(MixerHandle handle, std::uint32_t controlId, std::int32_t* value) = 0;
  virtual std::uint32_t SetControlDetails(MixerHandle handle, std::uint32_t controlId, std::int32_t value) = 0;
};

}  // namespace tw::volume
