// One tab of the tab strip: a three-piece background in a normal and a selected look, a caption
// label that sizes itself to its text, and a close button. The tab sizes its own width to fit its
// caption and keeps one opaque string for its owner. Everything here is in twips, origin at the
// tab's top-left corner; the Windows side draws what this model says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::tabs {

// 16-bit Boolean as it crosses control boundaries: true is -1, false is 0.
using VbBool = std::int16_t;
inline constexpr VbBool kVbTrue = -1;
inline constexpr VbBool kVbFalse = 0;

struct TwipSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

struct TwipRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool Contains(std::int32_t x, std::int32_t y) const {
    return x >= left && x < left + width && y >= top && y < top + height;
  }
};

// Measures a caption in the caption font; the Windows side measures with the default UI font.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  virtual TwipSize Measure(std::u16string_view text) const = 0;
};

// The background pieces, normal look (TabL, TabM, TabR) and selected look (TabL2, TabM2, TabR2).
enum class Piece { kTabL, kTabM, kTabR, kTabL2, kTabM2, kTabR2 };
inline constexpr Piece kAllPieces[] = {Piece::kTabL, Piece::kTabM, Piece::kTabR,
                                       Piece::kTabL2, Piece::kTabM2, Piece::kTabR2};

// What a mouse click at a point of the tab means.
enum class TabHit { kNone, kBody, kClose };

class TabBtn {
 public:
  // The close button takes the size of its 12 x 11 px picture: 180 x 165 twips at 96 dpi.
  static constexpr TwipSize kEndBtnSize{180, 165};
  static constexpr std::int32_t kEndBtnTop = 120;
  static constexpr std::int32_t kCaptionMargin = 120;
  static constexpr std::int32_t kDefaultHeight = 375;
  static constexpr std::int32_t kMaxLabelWidth = 1000000;

  // Runs the resize procedure once, as the control's initialisation does. `end_btn` is the close
  // button's size, which counts in the tab's width whether or not the button is shown.
  explicit TabBtn(const TextMeasurer& measurer, std::int32_t height = kDefaultHeight, TwipSize end_btn = kEndBtnSize);

  // The control's methods.
  void SaveData(std::u16string data) { data_ = std::move(data); }
  const std::u16string& LoadData() const { return data_; }
  // Note the sense: true (-1) gives the normal look, any other value the selected look.
  void TabVis(VbBool vis) { normal_look_ = vis == kVbTrue; }
  void SetCaption(std::u16string caption);
  void SetEndVIS(bool visible);
  // Label width + 140; nothing when that does not fit 16 bits.
  std::optional<std::int16_t> GetResize() const;
  const std::u16string& GetCaption() const { return caption_; }

  // The container gives the tab a new height (and any width: the tab keeps its own).
  void ContainerResize(std::int32_t height);

  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  bool NormalLook() const { return normal_look_; }
  bool EndBtnVisible() const { return end_visible_; }
  TwipRect PieceRect(Piece piece) const;
  bool PieceVisible(Piece piece) const;
  TwipRect LabelRect() const { return label_; }
  TwipRect EndBtnRect() const { return {end_left_, kEndBtnTop, end_btn_.width, end_btn_.height}; }

  // Topmost visible element at (x, y): the close button, else any piece or the label.
  TabHit HitTest(std::int32_t x, std::int32_t y) const;

 private:
  void MeasureLabel();
  void Resize();

  const TextMeasurer* measurer_;
  TwipSize end_btn_;
  std::u16string data_;
  std::u16string caption_;
  bool normal_look_ = true;
  bool end_visible_ = true;
  std::int32_t width_ = 570;
  std::int32_t height_;
  std::int32_t end_left_ = 0;
  std::int32_t middle_left_ = 10;
  std::int32_t middle_width_ = 0;
  std::int32_t right_left_ = 0;
  TwipRect label_{kCaptionMargin, 0, 0, 180};
};

}  // namespace tw::tabs
