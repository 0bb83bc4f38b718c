// Test driver: the volume widgets on the real winmm mixer.
//
//   twvolume mixer   Vol2 (saved shell instance, speakers line) against mixer device 0: writes
//                    read back through a second mixer handle, clamping, mute, changes made
//                    behind its back through that handle reported within a few polls, and
//                    the disabled state. Then vol1 wired to Vol2 the way the main window does,
//                    driven by mouse messages.
//   twvolume show [seconds] [log]
//                    a visible window at (100, 100) holding vol1 wired to Vol2; writes "shown",
//                    the slider's screen position, one "volchange=" line per VolChange and
//                    "knob=" after each move, to the log file when one is given. Ends after the
//                    seconds given (default 30) or when its window is closed.
//
// Prints "check=<name> ok" or "check=<name> FAIL <detail>" lines and "result=pass|fail";
// the exit code is 0 only when every check passed.
#include <windows.h>
#include <mmsystem.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/volume/core/volume_wiring.h"
#include "shell/volume/win/vol2.h"
#include "shell/volume/win/vol_slider.h"
#include "shell/volume/win/winmm_mixer.h"
#include "tests/wine/drivers/driver_support.h"

namespace {

using twd::Pump;
using twd::PumpTicks;
using twd::PumpTicksUntil;
using twd::PumpUntil;

using tw::volume::kFalse;
using tw::volume::kTrue;
using tw::volume::VBool;

int g_failures = 0;

// Where the lines go: standard output, or a log file (show mode, whose output nobody reads).
HANDLE g_out = GetStdHandle(STD_OUTPUT_HANDLE);

void Out(const std::string& s) {
  DWORD put = 0;
  std::string line = s + "\n";
  WriteFile(g_out, line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
  FlushFileBuffers(g_out);
}

void Check(const char* name, bool ok, const std::string& detail = {}) {
  if (!ok) ++g_failures;
  Out(std::string("check=") + name + (ok ? " ok" : " FAIL " + detail));
}

std::string Num(long long v) { return std::to_string(v); }

// The value a screen reader reads from a window's accessible object ("?" when there is none).
std::string AccValue(HWND hwnd) {
  static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  (void)com;
  IAccessible* acc = nullptr;
  if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                        reinterpret_cast<void**>(&acc))) || !acc)
    return "?";
  VARIANT self;
  VariantInit(&self);
  V_VT(&self) = VT_I4;
  V_I4(&self) = CHILDID_SELF;
  BSTR value = nullptr;
  std::string out = "?";
  if (SUCCEEDED(acc->get_accValue(self, &value)) && value) {
    out.clear();
    for (const OLECHAR* c = value; *c; ++c) out += static_cast<char>(*c < 0x80 ? *c : '?');
  }
  SysFreeString(value);
  acc->Release();
  return out;
}


// The master volume and mute controls reached through a mixer handle of our own, looked up
// without the module, as another program would.
class SecondHandle {
 public:
  SecondHandle() {
    if (mixerOpen(&mixer_, 0, 0, 0, 0) != MMSYSERR_NOERROR) return;
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    if (mixerGetLineInfoA(Obj(), &line, MIXER_GETLINEINFOF_COMPONENTTYPE | MIXER_OBJECTF_HMIXER)) return;
    ok_ = Find(line.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, &volumeId_) &&
          Find(line.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, &muteId_);
  }
  ~SecondHandle() {
    if (mixer_) mixerClose(mixer_);
  }
  bool ok() const { return ok_; }
  long Volume() { return Get(volumeId_); }
  long Mute() { return Get(muteId_); }
  void SetVolume(long v) { Set(volumeId_, v); }
  void SetMute(long v) { Set(muteId_, v); }

 private:
  HMIXEROBJ Obj() const { return reinterpret_cast<HMIXEROBJ>(mixer_); }
  bool Find(DWORD lineId, DWORD type, DWORD* id) {
    MIXERCONTROLA c{};
    MIXERLINECONTROLSA lc{};
    lc.cbStruct = sizeof lc;
    lc.dwLineID = lineId;
    lc.dwControlType = type;
    lc.cControls = 1;
    lc.cbmxctrl = sizeof c;
    lc.pamxctrl = &c;
    if (mixerGetLineControlsA(Obj(), &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_HMIXER)) return false;
    *id = c.dwControlID;
    return true;
  }
  MIXERCONTROLDETAILS Details(DWORD id, DWORD* v) {
    MIXERCONTROLDETAILS cd{};
    cd.cbStruct = sizeof cd;
    cd.dwControlID = id;
    cd.cChannels = 1;
    cd.cbDetails = sizeof(DWORD);
    cd.paDetails = v;
    return cd;
  }
  long Get(DWORD id) {
    DWORD v = 0;
    MIXERCONTROLDETAILS cd = Details(id, &v);
    if (mixerGetControlDetailsA(Obj(), &cd, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER)) return -1;
    return static_cast<long>(v);
  }
  void Set(DWORD id, long value) {
    DWORD v = static_cast<DWORD>(value);
    MIXERCONTROLDETAILS cd = Details(id, &v);
    mixerSetControlDetails(Obj(), &cd, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER);
  }

  HMIXER mixer_ = nullptr;
  DWORD volumeId_ = 0;
  DWORD muteId_ = 0;
  bool ok_ = false;
};

// Vol2's events, recorded, and passed on to the relay when there is one.
struct Recorder : tw::volume::VolumeControlEvents {
  std::vector<long> volumes;
  std::vector<int> mutes;
  tw::volume::VolumeControlEvents* next = nullptr;
  void VolumeChanged(std::int32_t& v) override {
    volumes.push_back(v);
    if (next) next->VolumeChanged(v);
  }
  void MuteChanged(VBool& m) override {
    mutes.push_back(m);
    if (next) next->MuteChanged(m);
  }
  void Clear() {
    volumes.clear();
    mutes.clear();
  }
};

// The slider's events, recorded and passed on to the relay.
struct SliderRecorder : tw::volume::VolumeSliderEvents {
  std::vector<float> changes;
  std::vector<std::string> clicks;
  tw::volume::VolumeSliderEvents* next = nullptr;
  bool print = false;
  void VolChange(float v) override {
    changes.push_back(v);
    if (print) Out("volchange=" + Num(static_cast<long long>(v)));
    if (next) next->VolChange(v);
  }
  void VolOffClick() override {
    clicks.push_back("VolOffClick");
    if (next) next->VolOffClick();
  }
  void VolOnClick() override {
    clicks.push_back("VolOnClick");
    if (next) next->VolOnClick();
  }
};

std::string List(const std::vector<long>& v) {
  std::string s = "[";
  for (long x : v) s += (s.size() > 1 ? "," : "") + Num(x);
  return s + "]";
}

LRESULT CALLBACK FrameProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(h, m, w, l);
}

HWND MakeFrame(bool visible) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = FrameProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"TwVolumeDriverFrame";
  RegisterClassW(&wc);
  HWND frame = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"twvolume", WS_POPUP | WS_BORDER, 100, 100,
                               200, 40, nullptr, nullptr, wc.hInstance, nullptr);
  if (visible) {
    ShowWindow(frame, SW_SHOW);
    UpdateWindow(frame);
  }
  return frame;
}

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

int KnobCentrePixel(const tw::volume::VolumeSlider& s) {
  const auto& k = s.Element(tw::volume::SliderElement::volbtn);
  return static_cast<int>((k.left + k.width / 2) / 15);
}

int RunMixer() {
  tw::volume::Module2& module = tw::volume::win::SharedMixerModule();
  SecondHandle other;
  Check("second-handle", other.ok(), "no speakers volume and mute on mixer 0");
  if (!other.ok()) return 1;

  Recorder rec;
  tw::volume::win::Vol2 vol2(&rec);
  auto& vol = vol2.control();
  Check("mixer-open", module.hMixer() != 0);
  const auto& speakers = module.MixerControls(0);
  Check("speakers-found", speakers.valid && module.MixerControls(7).valid,
        "max=" + Num(speakers.maximum) + " valid=" + Num(speakers.valid));
  Out("speakers_max=" + Num(speakers.maximum));

  other.SetVolume(45875);  // 70, before the control loads
  other.SetMute(0);
  const long before = other.Volume();
  vol.ReadProperties(tw::volume::SavedVol2Bag{});
  Check("loaded-volume", vol.Volume() == 23 && vol.DeviceToControl() == 0, "volume=" + Num(vol.Volume()));
  Check("loaded-not-written", other.Volume() == before, "raw=" + Num(other.Volume()));
  DWORD t0 = GetTickCount();
  PumpUntil(10000, [&] { return !rec.volumes.empty(); });
  Check("first-tick-reports-device", rec.volumes == std::vector<long>{70},
        List(rec.volumes) + " after " + Num(GetTickCount() - t0) + " ms");
  rec.Clear();

  vol.SetVolume(50);
  Check("write-50", other.Volume() == 32750, "raw=" + Num(other.Volume()));
  PumpTicks(vol2.hwnd(), 4);
  Check("read-back-50-no-event", rec.volumes.empty() && vol.Volume() == 50, List(rec.volumes));

  vol.SetVolume(150);
  Check("write-150-clamps", other.Volume() == 65535, "raw=" + Num(other.Volume()));
  PumpUntil(10000, [&] { return !rec.volumes.empty(); });
  PumpTicks(vol2.hwnd(), 3);
  Check("150-reported-as-100", rec.volumes == std::vector<long>{100} && vol.Volume() == 100, List(rec.volumes));
  rec.Clear();

  vol.SetVolume(-5);
  Check("write-minus-5", other.Volume() == 0, "raw=" + Num(other.Volume()));
  PumpUntil(10000, [&] { return !rec.volumes.empty(); });
  Check("minus-5-reported-as-0", rec.volumes == std::vector<long>{0}, List(rec.volumes));
  rec.Clear();

  vol.SetMute(kTrue);
  Check("mute-writes-1", other.Mute() == 1, "raw=" + Num(other.Mute()));
  vol.SetMute(kFalse);
  Check("unmute-writes-0", other.Mute() == 0, "raw=" + Num(other.Mute()));
  PumpTicks(vol2.hwnd(), 3);
  Check("mute-writes-no-event", rec.mutes.empty());

  // Another program changes the master volume.
  other.SetVolume(13107);  // 20
  // Counted in the control's polling ticks, not in milliseconds: the first poll after the change reads it.
  const int took = PumpTicksUntil(vol2.hwnd(), 10, 30000, [&] { return !rec.volumes.empty(); });
  const bool seen = !rec.volumes.empty();
  Out("outside_change_ticks=" + Num(took));
  PumpTicks(vol2.hwnd(), 4);
  Check("outside-change-once", seen && rec.volumes == std::vector<long>{20}, List(rec.volumes));
  Check("outside-change-within-a-few-ticks", seen && took <= 2, Num(took) + " ticks");
  rec.Clear();
  other.SetMute(1);
  PumpUntil(10000, [&] { return !rec.mutes.empty(); });
  PumpTicks(vol2.hwnd(), 3);
  Check("outside-mute-once", rec.mutes == std::vector<int>{-1} && vol.Mute() == kTrue);
  other.SetMute(0);
  PumpUntil(10000, [&] { return rec.mutes.size() >= 2; });
  rec.Clear();

  // Disabled: no polling, writes ignored; enabled again, polling resumes.
  vol.SetEnabled(kFalse);
  other.SetVolume(26200);  // 40
  Pump(400);
  vol.SetVolume(90);
  Check("disabled-no-events", rec.volumes.empty(), List(rec.volumes));
  Check("disabled-ignores-writes", other.Volume() == 26200 && vol.Volume() == 20, "raw=" + Num(other.Volume()));
  vol.SetEnabled(kTrue);
  PumpUntil(10000, [&] { return !rec.volumes.empty(); });
  Check("enabled-polls-again", rec.volumes == std::vector<long>{40}, List(rec.volumes));
  rec.Clear();

  // vol1 wired to Vol2 as the main window does, driven by mouse messages.
  HWND frame = MakeFrame(false);
  tw::volume::win::VolSlider vol1;
  tw::volume::VolumeWiring wiring;
  SliderRecorder sliderRec;
  sliderRec.next = &wiring;
  rec.next = &wiring;
  const bool created = vol1.Create(frame, 10, 10, 153, 17, &sliderRec);
  Check("slider-created", created, "frame=" + Num(frame != nullptr) + " error=" + Num(GetLastError()));
  wiring.Attach(&vol, &vol1);
  wiring.StartUp();
  const float startLeft = vol1.slider().Element(tw::volume::SliderElement::volbtn).left;
  Check("startup-places-knob", startLeft == tw::volume::VolumeSlider::KnobLeftForVolume(40), Num(static_cast<long>(startLeft)));
  // A screen reader reads the volume that placed the knob, not the one a drag to it would report.
  const std::string placed = AccValue(vol1.hwnd());
  Check("screen-reader-reads-the-volume-set", placed == "40", placed);

  const HWND h = vol1.hwnd();
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, Point(KnobCentrePixel(vol1.slider()), 7));
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, Point(63, 7));  // knob left 847.5 twips: 40
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, Point(70, 7));  // 952.5 twips: 47
  SendMessageW(h, WM_LBUTTONUP, 0, Point(70, 7));
  Check("drag-reports", sliderRec.changes == std::vector<float>{40, 47},
        "n=" + Num(static_cast<long>(sliderRec.changes.size())));
  Check("drag-sets-mixer", other.Volume() == 47 * 655, "raw=" + Num(other.Volume()));
  const std::string dragged = AccValue(h);
  Check("screen-reader-reads-the-volume-dragged", dragged == "47", dragged);
  SendMessageW(h, WM_MOUSEMOVE, 0, Point(90, 7));
  Check("move-without-button-ignored", sliderRec.changes.size() == 2);

  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 7));
  SendMessageW(h, WM_LBUTTONUP, 0, Point(5, 7));
  Check("speaker-click-mutes", other.Mute() == 1 &&
                                   vol1.slider().Element(tw::volume::SliderElement::VOLOFF).visible,
        "raw=" + Num(other.Mute()));
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 7));
  SendMessageW(h, WM_LBUTTONUP, 0, Point(5, 7));
  Check("muted-click-unmutes", other.Mute() == 0 &&
                                   vol1.slider().Element(tw::volume::SliderElement::VOLON).visible,
        "raw=" + Num(other.Mute()));
  PumpTicks(vol2.hwnd(), 3);
  Check("own-changes-raise-nothing", rec.volumes.empty() && rec.mutes.empty(), List(rec.volumes));

  other.SetVolume(65500);  // 100 from elsewhere: the knob follows
  PumpUntil(10000, [&] { return !rec.volumes.empty(); });
  const float left = vol1.slider().Element(tw::volume::SliderElement::volbtn).left;
  Check("knob-follows-mixer", left == 1760.0f, Num(static_cast<long>(left)));

  rec.next = nullptr;
  DestroyWindow(frame);
  Out(g_failures ? "result=fail" : "result=pass");
  return g_failures ? 1 : 0;
}

int RunShow(int seconds) {
  Recorder rec;
  tw::volume::win::Vol2 vol2(&rec);
  vol2.control().ReadProperties(tw::volume::SavedVol2Bag{});
  tw::volume::VolumeWiring wiring;
  rec.next = &wiring;
  SliderRecorder sliderRec;
  sliderRec.next = &wiring;
  sliderRec.print = true;

  HWND frame = MakeFrame(true);
  tw::volume::win::VolSlider vol1;
  vol1.Create(frame, 10, 10, 153, 17, &sliderRec);
  wiring.Attach(&vol2.control(), &vol1);
  wiring.StartUp();
  vol2.control().SetVolume(0);  // knob at the left end
  vol1.setVol(0);
  SetForegroundWindow(frame);
  UpdateWindow(frame);
  Pump(200);
  POINT origin{0, 0};
  ClientToScreen(vol1.hwnd(), &origin);
  Out("shown");
  Out("slider_screen=" + Num(origin.x) + "," + Num(origin.y));
  size_t printed = 0;
  float lastLeft = -1;
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  bool quit = false;
  while (!quit && GetTickCount() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) quit = true;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    const float left = vol1.slider().Element(tw::volume::SliderElement::volbtn).left;
    if (left != lastLeft || printed != sliderRec.changes.size()) {
      lastLeft = left;
      printed = sliderRec.changes.size();
      Out("knob=" + Num(static_cast<long>(left)));
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  DestroyWindow(frame);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"mixer";
  if (mode == L"show") {
    if (argc > 3) {
      g_out = CreateFileW(argv[3], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
      if (g_out == INVALID_HANDLE_VALUE) return 2;
    }
    return RunShow(argc > 2 ? _wtoi(argv[2]) : 30);
  }
  return RunMixer();
}
