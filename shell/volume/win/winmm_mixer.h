// The mixer device on winmm (ANSI calls, the mixer handle as the object, no object flags).
#pragma once

#include "shell/volume/core/mixer_device.h"
#include "shell/volume/core/mixer_module.h"

namespace tw::volume::win {

class WinmmMixer final : public MixerDevice {
 public:
  std::uint32_t GetNumDevs() override;
  std::uint32_t Open(std::uint32_t id, MixerHandle* handle) override;
  std::uint32_t Close(MixerHandle handle) override;
  std::uint32_t GetLineInfo(MixerHandle handle, std::uint32_t componentType, std::uint32_t* lineId) override;
  std::uint32_t GetLineControl(MixerHandle handle, std::uint32_t lineId, std::uint32_t controlType,
                               MixerControlRecord* record) override;
  std::uint32_t GetControlDetails(MixerHandle handle, std::uint32_t controlId, std::int32_t* value) override;
  std::uint32_t SetControlDetails(MixerHandle handle, std::uint32_t controlId, std::int32_t value) override;
};

// The process-wide mixer module on winmm, shared by every Vol2.
Module2& SharedMixerModule();

}  // namespace tw::volume::win
