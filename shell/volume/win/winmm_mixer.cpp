#include "shell/volume/win/winmm_mixer.h"

#include <windows.h>
#include <mmsystem.h>

#include "common/win/late_proc.h"

namespace tw::volume::win {
namespace {

// A control description as the program reserves it: the platform structure and 4 bytes of slack.
struct ControlRecord {
  MIXERCONTROLA control;
  DWORD slack;
};

// The records' sizes as the platform's headers give them; the pointer and the union with a
// pointer make the line-controls and details records larger on 64-bit Windows.
#ifdef _WIN64
constexpr DWORD kLineSize = 172;
constexpr DWORD kLineControlsSize = 28;
constexpr DWORD kDetailsSize = 32;
#else
constexpr DWORD kLineSize = 168;
constexpr DWORD kLineControlsSize = 24;
constexpr DWORD kDetailsSize = 24;
#endif
constexpr DWORD kRecordSize = 152;
static_assert(sizeof(MIXERLINEA) == kLineSize, "MIXERLINEA layout");
static_assert(sizeof(MIXERLINECONTROLSA) == kLineControlsSize, "MIXERLINECONTROLSA layout");
static_assert(sizeof(ControlRecord) == kRecordSize, "control record layout");
static_assert(sizeof(MIXERCONTROLDETAILS) == kDetailsSize, "MIXERCONTROLDETAILS layout");

// winmm is loaded when the mixer is first asked for, after the window's first paint. A missing
// function fails the call as a system without a mixer driver does.
const tw::win::LateProc<decltype(::mixerGetNumDevs)> kGetNumDevs{L"winmm.dll", "mixerGetNumDevs"};
const tw::win::LateProc<decltype(::mixerOpen)> kOpen{L"winmm.dll", "mixerOpen"};
const tw::win::LateProc<decltype(::mixerClose)> kClose{L"winmm.dll", "mixerClose"};
const tw::win::LateProc<decltype(::mixerGetLineInfoA)> kGetLineInfo{L"winmm.dll", "mixerGetLineInfoA"};
const tw::win::LateProc<decltype(::mixerGetLineControlsA)> kGetLineControls{L"winmm.dll", "mixerGetLineControlsA"};
const tw::win::LateProc<decltype(::mixerGetControlDetailsA)> kGetControlDetails{L"winmm.dll",
                                                                             "mixerGetControlDetailsA"};
const tw::win::LateProc<decltype(::mixerSetControlDetails)> kSetControlDetails{L"winmm.dll", "mixerSetControlDetails"};

template <class F, class... Args>
MMRESULT Call(const tw::win::LateProc<F>& proc, Args... args) {
  auto* f = proc.get();
  return f ? f(args...) : MMSYSERR_NODRIVER;
}

HMIXEROBJ Obj(MixerHandle handle) { return reinterpret_cast<HMIXEROBJ>(handle); }

MIXERCONTROLDETAILS Details(std::uint32_t controlId, void* value) {
  MIXERCONTROLDETAILS cd{};
  cd.cbStruct = kDetailsSize;
  cd.dwControlID = controlId;
  cd.cChannels = 1;  // one value for all channels
  cd.cMultipleItems = 0;
  cd.cbDetails = sizeof(std::int32_t);
  cd.paDetails = value;
  return cd;
}

}  // namespace

std::uint32_t WinmmMixer::GetNumDevs() {
  auto* f = kGetNumDevs.get();
  return f ? f() : 0;  // no library: no mixer
}

std::uint32_t WinmmMixer::Open(std::uint32_t id, MixerHandle* handle) {
  HMIXER h = nullptr;
  const MMRESULT r = Call(kOpen, &h, id, 0, 0, 0);
  if (r == MMSYSERR_NOERROR) *handle = reinterpret_cast<MixerHandle>(h);
  return r;
}

std::uint32_t WinmmMixer::Close(MixerHandle handle) { return Call(kClose, reinterpret_cast<HMIXER>(handle)); }

std::uint32_t WinmmMixer::GetLineInfo(MixerHandle handle, std::uint32_t componentType, std::uint32_t* lineId) {
  MIXERLINEA line{};
  line.cbStruct = kLineSize;
  line.dwComponentType = componentType;
  const MMRESULT r = Call(kGetLineInfo, Obj(handle), &line, MIXER_GETLINEINFOF_COMPONENTTYPE);
  if (r == MMSYSERR_NOERROR) *lineId = line.dwLineID;
  return r;
}

std::uint32_t WinmmMixer::GetLineControl(MixerHandle handle, std::uint32_t lineId, std::uint32_t controlType,
                                         MixerControlRecord* record) {
  ControlRecord buffer{};
  MIXERLINECONTROLSA request{};
  request.cbStruct = kLineControlsSize;
  request.dwLineID = lineId;
  request.dwControlType = controlType;
  request.cControls = 1;
  request.cbmxctrl = kRecordSize;
  request.pamxctrl = &buffer.control;
  MMRESULT r = Call(kGetLineControls, Obj(handle), &request, MIXER_GETLINECONTROLSF_ONEBYTYPE);
  if (r == MMSYSERR_INVALPARAM) {
    // Some mixers accept only the exact structure size as the record size.
    buffer = ControlRecord{};
    request.cbmxctrl = sizeof(MIXERCONTROLA);
    r = Call(kGetLineControls, Obj(handle), &request, MIXER_GETLINECONTROLSF_ONEBYTYPE);
  }
  if (r != MMSYSERR_NOERROR) return r;
  record->controlId = buffer.control.dwControlID;
  record->controlType = buffer.control.dwControlType;
  record->minimum = buffer.control.Bounds.lMinimum;
  record->maximum = buffer.control.Bounds.lMaximum;
  return r;
}

std::uint32_t WinmmMixer::GetControlDetails(MixerHandle handle, std::uint32_t controlId, std::int32_t* value) {
  std::int32_t v = 0;
  MIXERCONTROLDETAILS cd = Details(controlId, &v);
  const MMRESULT r = Call(kGetControlDetails, Obj(handle), &cd, MIXER_GETCONTROLDETAILSF_VALUE);
  *value = v;
  return r;
}

std::uint32_t WinmmMixer::SetControlDetails(MixerHandle handle, std::uint32_t controlId, std::int32_t value) {
  std::int32_t v = value;
  MIXERCONTROLDETAILS cd = Details(controlId, &v);
  return Call(kSetControlDetails, Obj(handle), &cd, MIXER_SETCONTROLDETAILSF_VALUE);
}

Module2& SharedMixerModule() {
  static WinmmMixer device;
  static Module2 module(device);
  return module;
}

}  // namespace tw::volume::win
