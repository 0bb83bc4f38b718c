// The mixer module and the mixer volume control against a simulated mixer device.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "shell/volume/core/mixer_module.h"
#include "shell/volume/core/volume_control.h"
#include "shell/volume/core/volume_wiring.h"

namespace tw::volume {
namespace {

constexpr std::uint32_t kInvalHandle = 5;
constexpr std::uint32_t kMixerErrInvalLine = 1024;
constexpr std::uint32_t kMixerErrInvalControl = 1025;

// A mixer whose controls are numbered from 0, like the platform's: a record that names no
// control (id 0) would reach the first control of the device if it were used.
class SimDevice : public MixerDevice {
 public:
  struct Control {
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t value = 0;
  };

  std::uint32_t devices = 1;
  std::uint32_t openResult = kMixerOk;
  std::vector<std::pair<std::uint32_t, std::int32_t>> writes;  // (control id, raw value)
  int opens = 0;
  std::vector<MixerHandle> closed;

  // Adds a line with a volume control (and a mute control when asked); returns the
  // volume control's id (the mute control's id is the next one).
  std::uint32_t AddLine(std::uint32_t componentType, std::int32_t maximum, bool withMute = true,
                        std::int32_t minimum = 0) {
    const std::uint32_t line = 0xFFFF0000u + static_cast<std::uint32_t>(lines_.size());
    lines_[componentType] = line;
    const std::uint32_t volumeId = static_cast<std::uint32_t>(controls_.size());
    controls_.push_back({minimum, maximum, 0});
    byLine_[{line, kControlVolume}] = volumeId;
    if (withMute) {
      controls_.push_back({0, 1, 0});
      byLine_[{line, kControlMute}] = volumeId + 1;
    }
    return volumeId;
  }
  Control& control(std::uint32_t id) { return controls_.at(id); }

  std::uint32_t GetNumDevs() override { return devices; }
  std::uint32_t Open(std::uint32_t id, MixerHandle* handle) override {
    if (id >= devices) return 2;
    if (openResult != kMixerOk) return openResult;
    ++opens;
    *handle = 0xC000 + static_cast<MixerHandle>(opens);
    open_.insert(*handle);
    return kMixerOk;
  }
  std::uint32_t Close(MixerHandle handle) override {
    closed.push_back(handle);
    return open_.erase(handle) ? kMixerOk : kInvalHandle;
  }
  std::uint32_t GetLineInfo(MixerHandle handle, std::uint32_t componentType, std::uint32_t* lineId) override {
    if (!open_.count(handle)) return kInvalHandle;
    auto it = lines_.find(componentType);
    if (it == lines_.end()) return kMixerErrInvalLine;
    *lineId = it->second;
    return kMixerOk;
  }
  std::uint32_t GetLineControl(MixerHandle handle, std::uint32_t lineId, std::uint32_t controlType,
                               MixerControlRecord* record) override {
    if (!open_.count(handle)) return kInvalHandle;
    auto it = byLine_.find({lineId, controlType});
    if (it == byLine_.end()) return kMixerErrInvalControl;
    record->controlId = it->second;
    record->controlType = controlType;
    record->minimum = controls_[it->second].minimum;
    record->maximum = controls_[it->second].maximum;
    return kMixerOk;
  }
  std::uint32_t GetControlDetails(MixerHandle handle, std::uint32_t controlId, std::int32_t* value) override {
    if (!open_.count(handle)) return kInvalHandle;
    if (controlId >= controls_.size()) return kMixerErrInvalControl;
    *value = controls_[controlId].value;
    return kMixerOk;
  }
  std::uint32_t SetControlDetails(MixerHandle handle, std::uint32_t controlId, std::int32_t value) override {
    if (!open_.count(handle)) return kInvalHandle;
    if (controlId >= controls_.size()) return kMixerErrInvalControl;
    writes.emplace_back(controlId, value);
    controls_[controlId].value = value;
    return kMixerOk;
  }

 private:
  std::map<std::uint32_t, std::uint32_t> lines_;
  std::vector<Control> controls_;
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> byLine_;
  std::set<MixerHandle> open_;
};

// ---------------------------------------------------------------- rounding

struct RoundCase {
  double in;
  double out;
};
class RoundHalfEvenTest : public ::testing::TestWithParam<RoundCase> {};
TEST_P(RoundHalfEvenTest, RoundsToNearestWithHalvesToEven) {
  EXPECT_EQ(RoundHalfEven(GetParam().in), GetParam().out) << GetParam().in;
}
INSTANTIATE_TEST_SUITE_P(Table, RoundHalfEvenTest,
                         ::testing::Values(RoundCase{0.5, 0}, RoundCase{1.5, 2}, RoundCase{2.5, 2},
                                           RoundCase{3.5, 4}, RoundCase{-0.5, 0}, RoundCase{-1.5, -2},
                                           RoundCase{-2.5, -2}, RoundCase{49.97, 50}, RoundCase{2.4999, 2},
                                           RoundCase{2.5001, 3}, RoundCase{-2.6, -3}, RoundCase{7, 7}));

// ---------------------------------------------------------------- opening

TEST(Module2Open, NoDeviceOpensNothingAndReadsZero) {
  SimDevice dev;
  dev.devices = 0;
  Module2 mod(dev);
  EXPECT_FALSE(mod.OpenMixer(0));
  EXPECT_EQ(dev.opens, 0);
  EXPECT_EQ(mod.hMixer(), 0u);
  EXPECT_EQ(mod.GetSlotVolume(0), 0);
  EXPECT_EQ(mod.GetSlotMute(7), kFalse);
  mod.SetSlotVolume(0, 50);
  mod.SetSlotMute(7, kTrue);
  EXPECT_TRUE(dev.writes.empty());
}

TEST(Module2Open, IdentifierOutOfRangeKeepsTheOpenMixer) {
  SimDevice dev;
  dev.AddLine(kComponentSpeakers, 65535);
  Module2 mod(dev);
  ASSERT_TRUE(mod.OpenMixer(0));
  const MixerHandle first = mod.hMixer();
  EXPECT_FALSE(mod.OpenMixer(1));
  EXPECT_FALSE(mod.OpenMixer(-1));
  EXPECT_EQ(mod.hMixer(), first);
  EXPECT_EQ(dev.opens, 1);
}

TEST(Module2Open, RefusedOpenReturnsFalse) {
  SimDevice dev;
  dev.AddLine(kComponentSpeakers, 65535);
  dev.openResult = 4;
  Module2 mod(dev);
  EXPECT_FALSE(mod.OpenMixer(0));
  EXPECT_EQ(mod.hMixer(), 0u);
  EXPECT_FALSE(mod.MixerControls(0).valid);
}

TEST(Module2Open, FillsTheSlotsOfTheLinesTheDeviceHas) {
  SimDevice dev;
  const auto speakers = dev.AddLine(kComponentSpeakers, 65535);
  const auto wave = dev.AddLine(kComponentWaveOut, 100);
  const auto mic = dev.AddLine(kComponentMicrophone, 255, /*withMute=*/false);
  Module2 mod(dev);
  ASSERT_TRUE(mod.OpenMixer(0));

  EXPECT_EQ(mod.MixerControls(0).controlId, speakers);
  EXPECT_EQ(mod.MixerControls(0).maximum, 65535);
  EXPECT_EQ(mod.MixerControls(7).controlId, speakers + 1);
  EXPECT_EQ(mod.MixerControls(7).controlType, kControlMute);
  EXPECT_EQ(mod.MixerControls(5).controlId, wave);
  EXPECT_EQ(mod.MixerControls(12).controlId, wave + 1);
  EXPECT_EQ(mod.MixerControls(2).controlId, mic);
  EXPECT_FALSE(mod.MixerControls(9).valid);  // microphone without mute
  for (int slot : {1, 3, 4, 6, 8, 10, 11, 13, 14, 15, 16, 17, 18, 19, 20})
    EXPECT_FALSE(mod.MixerControls(slot).valid) << slot;
}

TEST(Module2Open, ReopeningClosesThePreviousHandle) {
  SimDevice dev;
  dev.AddLine(kComponentSpeakers, 65535);
  Module2 mod(dev);
  ASSERT_TRUE(mod.OpenMixer(0));
  const MixerHandle first = mod.hMixer();
  ASSERT_TRUE(mod.OpenMixer(0));
  EXPECT_NE(mod.hMixer(), first);
  EXPECT_EQ(dev.closed, std::vector<MixerHandle>{first});
  mod.CloseMixer();
  EXPECT_EQ(mod.hMixer(), 0u);
  EXPECT_EQ(dev.closed.size(), 2u);
}

TEST(Module2Open, SharedByUsersClosedByTheLast) {
  SimDevice dev;
  dev.AddLine(kComponentSpeakers, 65535);
  Module2 mod(dev);
  mod.AddUser();
  mod.AddUser();
  EXPECT_EQ(dev.opens, 1);
  mod.RemoveUser();
  EXPECT_NE(mod.hMixer(), 0u);
  EXPECT_TRUE(dev.closed.empty());
  mod.RemoveUser();
  EXPECT_EQ(mod.hMixer(), 0u);
  EXPECT_EQ(dev.closed.size(), 1u);
}

// ---------------------------------------------------------------- scaling

struct WriteCase {
  std::int32_t maximum;
  std::int32_t minimum;
  std::int32_t volume;
  std::int32_t raw;
};
class Module2Write : public ::testing::TestWithParam<WriteCase> {};
TEST_P(Module2Write, ScalesAndClamps) {
  const WriteCase& c = GetParam();
  SimDevice dev;
  const auto id = dev.AddLine(kComponentSpeakers, c.maximum, true, c.minimum);
  Module2 mod(dev);
  ASSERT_TRUE(mod.OpenMixer(0));
  mod.SetSlotVolume(0, c.volume);
  ASSERT_EQ(dev.writes.size(), 1u);
  EXPECT_EQ(dev.writes[0].first, id);
  EXPECT_EQ(dev.writes[0].second, c.raw) << "volume " << c.volume << " max " << c.maximum;
}
constexpr std::int32_t kMaxI = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinI = std::numeric_limits<std::int32_t>::min();
INSTANTIATE_TEST_SUITE_P(
    Table, Module2Write,
    ::testing::Values(WriteCase{65535, 0, 50, 32750}, WriteCase{65535, 0, 100, 65500},
                      WriteCase{65535, 0, 150, 65535}, WriteCase{65535, 0, -5, 0}, WriteCase{65535, 0, 0, 0},
                      WriteCase{255, 0, 100, 200}, WriteCase{1023, 0, 100, 1000}, WriteCase{199, 0, 100, 100},
                      // products beyond 32 bits clamp instead of failing
                      WriteCase{65535, 0, kMaxI, 65535}, WriteCase{65535, 0, kMinI, 0},
                      WriteCase{kMaxI, 0, 100, 2147483600}, WriteCase{kMaxI, 0, kMaxI, kMaxI},
                      // small ranges are written unscaled, still clamped
                      WriteCase{100, 0, 37, 37}, WriteCase{100, 0, 150, 100}, WriteCase{15, 0, 10, 10},
                      WriteCase{15, 0, 20, 15}, WriteCase{100, 0, -5, 0},
                      // any other minimum: 0-100 over the whole range
                      WriteCase{900, 100, 0, 100}, WriteCase{900, 100, 50, 500}, WriteCase{900, 100, 100, 900},
                      WriteCase{900, 100, 150, 900}, WriteCase{900, 100, -5, 100}, WriteCase{100, 10, 3, 13}));

struct ReadCase {
  std::int32_t maximum;
  std::int32_t minimum;
  std::int32_t raw;
  std::int32_t volume;
};
class Module2Read : public ::testing::TestWithParam<ReadCase> {};
TEST_P(Module2Read, ScalesAndRoundsHalvesToEven) {
  const ReadCase& c = GetParam();
  SimDevice dev;
  const auto id = dev.AddLine(kComponentSpeakers, c.maximum, true, c.minimum);
  Module2 mod(dev);
  ASSERT_TRUE(mod.OpenMixer(0));
  dev.control(id).value = c.raw;
  EXPECT_EQ(mod.GetSlotVolume(0), c.volume) << "raw " << c.raw << " max " << c.maximum;
}
INSTANTIATE_TEST_SUITE_P(
    Table, Module2Read,
    ::testing::Values(ReadCase{65535, 0, 32750, 50}, ReadCase{65535, 0, 65500, 100}, ReadCase{65535, 0, 65535, 100},
                      ReadCase{65535, 0, 0, 0}, ReadCase{65535, 0, 327, 0}, ReadCase{65535, 0, 328, 1},
                      ReadCase{65535, 0, 13107, 20},
                      // a level set by another program reads as its share of the range
                      ReadCase{255, 0, 128, 50}, ReadCase{255, 0, 200, 78}, ReadCase{255, 0, 255, 100},
                      ReadCase{255, 0, 101, 40}, ReadCase{1023, 0, 512, 50}, ReadCase{1023, 0, 1023, 100},
                      ReadCase{199, 0, 150, 75},
                      // exact halves: 0.5 -> 0, 1.5 -> 2, 2.5 -> 2
                      ReadCase{200, 0, 1, 0}, ReadCase{200, 0, 3, 2}, ReadCase{200, 0, 5, 2},
                      // raw x 100 beyond 32 bits
                      ReadCase{kMaxI, 0, kMaxI, 100}, ReadCase{kMaxI, 0, kMaxI / 2, 50},
                      // any other minimum: the inverse of writing
                      ReadCase{1000, 10, 500, 49}, ReadCase{900, 100, 100, 0}, ReadCase{900, 100, 900, 100},
                      ReadCase{900, 100, 50, 0}, ReadCase{900, 100, 1000, 100},
                      // small ranges are read unscaled
                      ReadCase{100, 0, 42, 42}, ReadCase{15, 0, 15, 15}));

TEST(Module2Read, WhatWasWrittenToAMixerIsForgottenWhenItCloses) {
  SimDevice dev;
  dev.AddLine(kComponentSpeakers, 255);
  Module2 mod(dev);
  ASSERT_TRUE(mod.OpenMixer(0));
  mod.SetSlotVolume(0, 64);  // raw 128
  EXPECT_EQ(mod.GetSlotVolume(0), 64);
  mod.CloseMixer();
  ASSERT_TRUE(mod.OpenMixer(0));
  EXPECT_EQ(mod.GetSlotVolume(0), 50);  // 128 of 255, as any level set elsewhere
}

TEST(Module2Read, EveryVolumeReadsBackAsItselfOnEveryRange) {
  // Ranges whose maximum is not a multiple of 100 leave the top of the range unwritten; reading
  // must still give each volume back, or the next tick reports a different one.
  const std::pair<std::int32_t, std::int32_t> ranges[] = {
      {0, 255}, {0, 1023}, {0, 65535}, {0, 101}, {0, 199}, {0, 100}, {100, 900}, {-32768, 32767}};
  for (const auto& [minimum, maximum] : ranges) {
    SimDevice dev;
    dev.AddLine(kComponentSpeakers, maximum, true, minimum);
    Module2 mod(dev);
    ASSERT_TRUE(mod.OpenMixer(0));
    for (std::int32_t v = 0; v <= 100; ++v) {
      mod.SetSlotVolume(0, v);
      EXPECT_EQ(mod.GetSlotVolume(0), v) << "range " << minimum << ".." << maximum;
      // Then another program moves the level to the middle of the range: it reads as 50.
      const auto middle = static_cast<std::int32_t>(minimum + (static_cast<std::int64_t>(maximum) - minimum + 1) / 2);
      if (dev.control(0).value == middle) continue;
      dev.control(0).value = middle;
      EXPECT_EQ(mod.GetSlotVolume(0), 50) << "range " << minimum << ".." << maximum << " after " << v;
    }
  }
}

TEST(Module2Mute, WritesOneOrZeroAndReadsTrueForNonZero) {
  SimDevice dev;
  const auto id = dev.AddLine(kComponentSpeakers, 65535);
  Module2 mod(dev);
  ASSERT_TRUE(mod.OpenMixer(0));
  mod.SetSlotMute(7, kTrue);
  EXPECT_EQ(dev.control(id + 1).value, 1);
  EXPECT_EQ(mod.GetSlotMute(7), kTrue);
  mod.SetSlotMute(7, kFalse);
  EXPECT_EQ(dev.control(id + 1).value, 0);
  EXPECT_EQ(mod.GetSlotMute(7), kFalse);
}

TEST(Module2Slots, MissingControlsNeverReachAnotherControl) {
  SimDevice dev;
  const auto speakers = dev.AddLine(kComponentSpeakers, 65535);  // control id 0
  Module2 mod(dev);
  ASSERT_TRUE(mod.OpenMixer(0));
  dev.control(speakers).value = 65535;
  dev.control(speakers + 1).value = 1;
  for (int slot = 1; slot <= 20; ++slot) {
    if (slot == 7) continue;
    EXPECT_EQ(mod.GetSlotVolume(slot), 0) << slot;
    EXPECT_EQ(mod.GetSlotMute(slot), kFalse) << slot;
    mod.SetSlotVolume(slot, 10);
    mod.SetSlotMute(slot, kFalse);
  }
  EXPECT_TRUE(dev.writes.empty());
  EXPECT_EQ(dev.control(speakers).value, 65535);
}

TEST(Module2Slots, SlotsOutsideTheTableThrow) {
  SimDevice dev;
  dev.AddLine(kComponentSpeakers, 65535);
  Module2 mod(dev);
  ASSERT_TRUE(mod.OpenMixer(0));
  for (int slot : {-1, 21, 1000}) {
    EXPECT_THROW(mod.SetSlotVolume(slot, 1), std::out_of_range) << slot;
    EXPECT_THROW(mod.GetSlotVolume(slot), std::out_of_range) << slot;
    EXPECT_THROW(mod.SetSlotMute(slot, kTrue), std::out_of_range) << slot;
    EXPECT_THROW(mod.GetSlotMute(slot), std::out_of_range) << slot;
  }
  EXPECT_NO_THROW(mod.GetSlotVolume(20));
  EXPECT_TRUE(dev.writes.empty());
}

TEST(Module2Slots, FailedReadYieldsZero) {
  SimDevice dev;
  dev.AddLine(kComponentSpeakers, 65535);
  Module2 mod(dev);
  ASSERT_TRUE(mod.OpenMixer(0));
  MixerControlRecord stale = mod.MixerControls(0);
  stale.controlId = 99;  // the device refuses the id
  EXPECT_EQ(mod.GetControlValue(mod.hMixer(), stale), 0);
  EXPECT_FALSE(mod.SetControlValue(mod.hMixer(), stale, 50));
  EXPECT_TRUE(mod.SetControlValue(mod.hMixer(), mod.MixerControls(0), 50));
}

// ---------------------------------------------------------------- the control

struct Recorder : VolumeControlEvents, PollTimer {
  std::vector<std::string> log;
  std::optional<std::int32_t> replaceVolume;
  std::optional<VBool> replaceMute;
  bool polling = false;
  int pollingCalls = 0;

  void MuteChanged(VBool& newmute) override {
    log.push_back("MuteChanged " + std::to_string(newmute));
    if (replaceMute) newmute = *replaceMute;
  }
  void VolumeChanged(std::int32_t& NewVolume) override {
    log.push_back("VolumeChanged " + std::to_string(NewVolume));
    if (replaceVolume) NewVolume = *replaceVolume;
  }
  void PropertyChanged(std::u16string_view name) override {
    log.push_back("PropertyChanged " + std::string(name.begin(), name.end()));
  }
  void SetPolling(bool enabled) override {
    polling = enabled;
    ++pollingCalls;
  }
  std::vector<std::string> Take() { return std::exchange(log, {}); }
};

struct MapBag : PropertyBag {
  std::map<std::u16string, std::int32_t> values;
  std::optional<std::int32_t> Read(std::u16string_view key) const override {
    auto it = values.find(std::u16string(key));
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  void Write(std::u16string_view key, std::int32_t value) override { values[std::u16string(key)] = value; }
};

using Strings = std::vector<std::string>;

class VolumeControlTest : public ::testing::Test {
 protected:
  VolumeControlTest() {
    speakers = dev.AddLine(kComponentSpeakers, 65535);
    wave = dev.AddLine(kComponentWaveOut, 65535);
  }
  // The shell's saved instance: volume 23 on the speakers line.
  void LoadShellInstance(VolumeControl& vol) { vol.ReadProperties(SavedVol2Bag{}); }
  std::int32_t& speakersRaw() { return dev.control(speakers).value; }
  std::int32_t& speakersMute() { return dev.control(speakers + 1).value; }

  SimDevice dev;
  std::uint32_t speakers = 0;
  std::uint32_t wave = 0;
  Module2 mod{dev};
  Recorder rec;
};

TEST_F(VolumeControlTest, NewInstanceBindsWaveOutAndReadsIt) {
  dev.control(wave).value = 32750;
  dev.control(wave + 1).value = 1;
  VolumeControl vol(mod, rec, &rec);
  vol.InitProperties();
  EXPECT_EQ(vol.DeviceToControl(), 5);
  EXPECT_EQ(vol.Volume(), 50);
  EXPECT_EQ(vol.Mute(), kTrue);
  EXPECT_EQ(vol.Enabled(), kTrue);
  EXPECT_TRUE(rec.polling);
  vol.Timer1Tick();
  EXPECT_TRUE(rec.log.empty());
}

TEST_F(VolumeControlTest, LoadedVolumeIsNotWrittenAndTheFirstTickReportsTheDevice) {
  speakersRaw() = 45875;  // 70
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  EXPECT_EQ(vol.Volume(), 23);
  EXPECT_TRUE(dev.writes.empty());
  EXPECT_TRUE(rec.polling);
  vol.Timer1Tick();
  EXPECT_EQ(rec.Take(), Strings{"VolumeChanged 70"});
  EXPECT_EQ(vol.Volume(), 70);
  vol.Timer1Tick();
  EXPECT_TRUE(rec.log.empty());
}

TEST_F(VolumeControlTest, WrittenVolumeReadsBackWithoutAnEvent) {
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  vol.SetVolume(50);
  EXPECT_EQ(speakersRaw(), 32750);
  EXPECT_EQ(rec.Take(), Strings{"PropertyChanged Volume"});
  vol.Timer1Tick();
  EXPECT_TRUE(rec.log.empty());
  EXPECT_EQ(vol.Volume(), 50);
}

TEST_F(VolumeControlTest, VolumeAboveRangeIsClampedAndReportedOnTheNextTick) {
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  vol.SetVolume(150);
  EXPECT_EQ(speakersRaw(), 65535);
  EXPECT_EQ(vol.Volume(), 150);
  rec.Take();
  vol.Timer1Tick();
  EXPECT_EQ(rec.Take(), Strings{"VolumeChanged 100"});
  EXPECT_EQ(vol.Volume(), 100);
}

TEST_F(VolumeControlTest, NegativeVolumeWritesTheMinimum) {
  speakersRaw() = 32750;
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  vol.SetVolume(-5);
  EXPECT_EQ(speakersRaw(), 0);
  rec.Take();
  vol.Timer1Tick();
  EXPECT_EQ(rec.Take(), Strings{"VolumeChanged 0"});
}

TEST_F(VolumeControlTest, MuteWritesOneAndZeroWithoutEvents) {
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  vol.SetMute(kTrue);
  EXPECT_EQ(speakersMute(), 1);
  vol.Timer1Tick();
  vol.SetMute(kFalse);
  EXPECT_EQ(speakersMute(), 0);
  vol.Timer1Tick();
  // The first tick reports the volume (23 stored, device 0); the mute writes raise nothing.
  EXPECT_EQ(rec.Take(), (Strings{"PropertyChanged Mute", "VolumeChanged 0", "PropertyChanged Mute"}));
}

TEST_F(VolumeControlTest, OutsideChangeRaisesExactlyOneEvent) {
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  vol.Timer1Tick();
  rec.Take();
  speakersRaw() = 13107;  // another program sets 20
  for (int i = 0; i < 5; ++i) vol.Timer1Tick();
  EXPECT_EQ(rec.Take(), Strings{"VolumeChanged 20"});
  speakersMute() = 1;
  for (int i = 0; i < 5; ++i) vol.Timer1Tick();
  EXPECT_EQ(rec.Take(), Strings{"MuteChanged -1"});
  EXPECT_EQ(vol.Mute(), kTrue);
}

TEST_F(VolumeControlTest, StoresWhatTheHandlerLeftInTheArgument) {
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  speakersRaw() = 13107;
  rec.replaceVolume = 77;
  vol.Timer1Tick();
  EXPECT_EQ(vol.Volume(), 77);
  // The device still says 20, so the next tick reports it again.
  rec.replaceVolume.reset();
  rec.Take();
  vol.Timer1Tick();
  EXPECT_EQ(rec.Take(), Strings{"VolumeChanged 20"});

  speakersMute() = 1;
  rec.replaceMute = 1;
  vol.Timer1Tick();
  EXPECT_EQ(vol.Mute(), 1);
}

TEST_F(VolumeControlTest, DisabledControlIgnoresWritesAndStopsPolling) {
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  vol.SetEnabled(kFalse);
  EXPECT_EQ(rec.Take(), Strings{"PropertyChanged Enabled"});
  EXPECT_FALSE(rec.polling);
  EXPECT_FALSE(vol.TimerEnabled());
  vol.SetVolume(80);
  vol.SetMute(kTrue);
  vol.SetDeviceToControl(5);
  EXPECT_TRUE(dev.writes.empty());
  EXPECT_EQ(vol.Volume(), 23);
  EXPECT_EQ(vol.DeviceToControl(), 0);
  speakersRaw() = 13107;
  vol.Timer1Tick();  // a tick that was already queued
  EXPECT_TRUE(rec.log.empty());
  EXPECT_EQ(vol.Enabled(), kFalse);

  vol.SetEnabled(kTrue);
  EXPECT_TRUE(rec.polling);
  vol.Timer1Tick();
  EXPECT_EQ(rec.Take(), (Strings{"PropertyChanged Enabled", "VolumeChanged 20"}));
}

TEST_F(VolumeControlTest, CtlTimerStopsPollingButKeepsEnabled) {
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  vol.ctlTimer(kFalse);
  EXPECT_FALSE(rec.polling);
  EXPECT_EQ(vol.Enabled(), kTrue);
  vol.Timer1Tick();
  EXPECT_TRUE(rec.log.empty());
  vol.SetVolume(50);  // still enabled: the write goes through
  EXPECT_EQ(speakersRaw(), 32750);
  vol.ctlTimer(kTrue);
  EXPECT_TRUE(rec.polling);
}

TEST_F(VolumeControlTest, LineSwitchAlwaysRaisesBothEvents) {
  speakersRaw() = 15073;  // 23
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  vol.SetDeviceToControl(0);
  EXPECT_EQ(rec.Take(), (Strings{"PropertyChanged DeviceToControl", "VolumeChanged 23", "MuteChanged 0"}));

  dev.control(wave).value = 65500;
  dev.control(wave + 1).value = 1;
  vol.SetDeviceToControl(5);
  EXPECT_EQ(rec.Take(), (Strings{"PropertyChanged DeviceToControl", "VolumeChanged 100", "MuteChanged -1"}));
  EXPECT_EQ(vol.Volume(), 100);
  EXPECT_EQ(vol.Mute(), kTrue);
  vol.SetVolume(50);
  EXPECT_EQ(dev.control(wave).value, 32750);
  EXPECT_EQ(speakersRaw(), 15073);
}

TEST_F(VolumeControlTest, LineOutsideTheTableIsRefused) {
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  for (std::int32_t n : {-1, 7, 14, 21}) {
    EXPECT_THROW(vol.SetDeviceToControl(n), std::out_of_range) << n;
    EXPECT_EQ(vol.DeviceToControl(), 0);
  }
  EXPECT_TRUE(rec.log.empty());
  vol.Timer1Tick();  // polling still works
  EXPECT_EQ(rec.Take(), Strings{"VolumeChanged 0"});
}

TEST_F(VolumeControlTest, LineWithoutControlsReadsZeroAndWritesNothing) {
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  speakersRaw() = 65535;
  vol.SetDeviceToControl(4);  // no CD line on this device
  EXPECT_EQ(rec.Take(), (Strings{"PropertyChanged DeviceToControl", "VolumeChanged 0", "MuteChanged 0"}));
  vol.SetVolume(60);
  vol.SetMute(kTrue);
  EXPECT_TRUE(dev.writes.empty());
  EXPECT_EQ(speakersRaw(), 65535);
}

TEST(VolumeControlNoMixer, ReadsZeroAndReportsItOnTheFirstTick) {
  SimDevice dev;
  dev.devices = 0;
  Module2 mod(dev);
  Recorder rec;
  {
    VolumeControl fresh(mod, rec, &rec);
    fresh.InitProperties();
    EXPECT_EQ(fresh.Volume(), 0);
    EXPECT_EQ(fresh.Mute(), kFalse);
  }
  VolumeControl vol(mod, rec, &rec);
  MapBag bag;
  bag.values = {{u"Volume", 23}, {u"DeviceToControl", 0}};
  vol.ReadProperties(bag);
  vol.Timer1Tick();
  EXPECT_EQ(rec.Take(), Strings{"VolumeChanged 0"});
  vol.SetVolume(40);
  EXPECT_TRUE(dev.writes.empty());
}

TEST_F(VolumeControlTest, SavesOnlyValuesThatDifferFromTheirDefaults) {
  VolumeControl vol(mod, rec, &rec);
  LoadShellInstance(vol);
  MapBag saved;
  vol.WriteProperties(saved);
  EXPECT_EQ(saved.values, (std::map<std::u16string, std::int32_t>{{u"Volume", 23}, {u"DeviceToControl", 0}}));

  vol.SetMute(kTrue);
  vol.SetEnabled(kFalse);
  MapBag again;
  vol.WriteProperties(again);
  EXPECT_EQ(again.values, (std::map<std::u16string, std::int32_t>{
                              {u"Enabled", 0}, {u"Volume", 23}, {u"mute", -1}, {u"DeviceToControl", 0}}));
}

TEST_F(VolumeControlTest, LoadsDefaultsForMissingKeys) {
  VolumeControl vol(mod, rec, &rec);
  MapBag empty;
  vol.ReadProperties(empty);
  EXPECT_EQ(vol.Enabled(), kTrue);
  EXPECT_EQ(vol.Volume(), 0);
  EXPECT_EQ(vol.Mute(), kFalse);
  EXPECT_EQ(vol.DeviceToControl(), 5);
  EXPECT_TRUE(rec.polling);
  MapBag saved;
  vol.WriteProperties(saved);
  EXPECT_TRUE(saved.values.empty());
}

TEST_F(VolumeControlTest, LoadedDisabledInstanceDoesNotPoll) {
  VolumeControl vol(mod, rec, &rec);
  MapBag bag;
  bag.values = {{u"Enabled", 0}, {u"mute", -1}};
  vol.ReadProperties(bag);
  EXPECT_FALSE(rec.polling);
  EXPECT_EQ(vol.Mute(), kTrue);
  vol.Timer1Tick();
  EXPECT_TRUE(rec.log.empty());
}

TEST_F(VolumeControlTest, StoredLineOutsideTheTableFallsBackToWaveOut) {
  VolumeControl vol(mod, rec, &rec);
  MapBag bag;
  bag.values = {{u"DeviceToControl", 9}};
  vol.ReadProperties(bag);
  EXPECT_EQ(vol.DeviceToControl(), 5);
  EXPECT_NO_THROW(vol.Timer1Tick());
}

TEST_F(VolumeControlTest, InstancesShareOneMixerClosedByTheLast) {
  {
    VolumeControl a(mod, rec, &rec);
    {
      VolumeControl b(mod, rec, &rec);
      EXPECT_EQ(dev.opens, 1);
    }
    EXPECT_NE(mod.hMixer(), 0u);
    a.InitProperties();
    a.SetVolume(50);
    EXPECT_EQ(dev.control(wave).value, 32750);
  }
  EXPECT_EQ(mod.hMixer(), 0u);
  EXPECT_FALSE(rec.polling);
}

// ---------------------------------------------------------------- slider <-> mixer

struct SliderLog : VolumeSliderView {
  std::vector<std::string> log;
  void setVol(std::int32_t Volume) override { log.push_back("setVol " + std::to_string(Volume)); }
  void SetMute(VBool newmute) override { log.push_back("SetMute " + std::to_string(newmute)); }
};

class WiringTest : public VolumeControlTest {
 protected:
  WiringTest() : vol2(mod, rec, &wiring) {
    vol2.ReadProperties(SavedVol2Bag{});
    wiring.Attach(&vol2, &vol1);
  }
  VolumeWiring wiring;
  VolumeControl vol2;
  SliderLog vol1;
};

TEST_F(WiringTest, StartUpPlacesTheSavedVolumeThenTheFirstTickTheDevices) {
  speakersRaw() = 45875;  // 70
  wiring.StartUp();
  EXPECT_EQ(vol1.log, Strings{"setVol 23"});
  vol2.Timer1Tick();
  EXPECT_EQ(vol1.log, (Strings{"setVol 23", "setVol 70"}));
  EXPECT_EQ(vol2.Volume(), 70);
}

TEST_F(WiringTest, SliderMovesAndClicksDriveTheMixer) {
  VolumeSlider slider(&wiring);
  slider.MouseDown(1080 + 97.5f, 100, MouseButton::Left);
  slider.MouseMove(849 + 97.5f, 100);  // reports 40
  EXPECT_EQ(speakersRaw(), 26200);
  EXPECT_EQ(vol2.Volume(), 40);
  slider.MouseUp(849 + 97.5f, 100, MouseButton::Left);

  slider.MouseDown(100, 100, MouseButton::Left);  // the sounding icon: mute
  slider.MouseUp(100, 100, MouseButton::Left);
  EXPECT_EQ(speakersMute(), 1);
  slider.MouseDown(100, 100, MouseButton::Left);  // the muted icon: un-mute
  slider.MouseUp(100, 100, MouseButton::Left);
  EXPECT_EQ(speakersMute(), 0);
  // What the slider itself caused raises nothing back.
  vol2.Timer1Tick();
  EXPECT_TRUE(vol1.log.empty());
}

TEST_F(WiringTest, MixerChangesMadeElsewhereReachTheSliderUnchanged) {
  vol2.Timer1Tick();
  vol1.log.clear();
  speakersRaw() = 13107;
  speakersMute() = 1;
  vol2.Timer1Tick();
  EXPECT_EQ(vol1.log, (Strings{"setVol 20", "SetMute -1"}));
  EXPECT_EQ(vol2.Volume(), 20);
  EXPECT_EQ(vol2.Mute(), kTrue);
}

struct ToIntCase {
  float in;
  std::int32_t out;
};
class SliderVolumeConversion : public ::testing::TestWithParam<ToIntCase> {};
TEST_P(SliderVolumeConversion, RoundsHalvesToEvenWithinRange) {
  EXPECT_EQ(SliderVolumeToInt32(GetParam().in), GetParam().out) << GetParam().in;
}
INSTANTIATE_TEST_SUITE_P(Table, SliderVolumeConversion,
                         ::testing::Values(ToIntCase{40, 40}, ToIntCase{0, 0}, ToIntCase{100, 100},
                                           ToIntCase{54.5f, 54}, ToIntCase{55.5f, 56}, ToIntCase{3e10f, kMaxI},
                                           ToIntCase{-3e10f, kMinI}));

}  // namespace
}  // namespace tw::volume
