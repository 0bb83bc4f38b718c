#include "shell/tab_strip/core/tab_btn.h"

#include <algorithm>
#include <limits>

namespace tw::tabs {

TabBtn::TabBtn(const TextMeasurer& measurer, std::int32_t height, TwipSize end_btn)
    : measurer_(&measurer), end_btn_(end_btn), height_(height) {
  MeasureLabel();
  Resize();
}

void TabBtn::SetCaption(std::u16string caption) {
  caption_ = std::move(caption);
  MeasureLabel();
  Resize();
}

// The label sizes itself to its text. A width beyond the strip's own length is held there so
// the arithmetic on widths stays in range.
void TabBtn::MeasureLabel() {
  TwipSize size = measurer_->Measure(caption_);
  label_.width = std::clamp<std::int32_t>(size.width, 0, kMaxLabelWidth);
  label_.height = std::clamp<std::int32_t>(size.height, 0, kMaxLabelWidth);
}

void TabBtn::SetEndVIS(bool visible) {
  end_visible_ = visible;
  label_.left = (width_ - label_.width) / 2;
  label_.top = (height_ - label_.height) / 2;
}

std::optional<std::int16_t> TabBtn::GetResize() const {
  std::int64_t value = static_cast<std::int64_t>(label_.width) + 140;
  if (value > std::numeric_limits<std::int16_t>::max() || value < std::numeric_limits<std::int16_t>::min()) {
    return std::nullopt;
  }
  return static_cast<std::int16_t>(value);
}

void TabBtn::ContainerResize(std::int32_t height) {
  height_ = height;
  Resize();
}

// Setting the width makes the container resize the control, which runs this once more; the
// second pass computes the same values, so one pass is all it takes.
void TabBtn::Resize() {
  width_ = end_btn_.width + label_.width + 300;
  end_left_ = width_ - end_btn_.width - 120;
  middle_width_ = width_ - 20;
  middle_left_ = 10;
  right_left_ = width_ - 10;
  label_.left = kCaptionMargin;
  label_.top = (height_ - label_.height) / 2;
}

TwipRect TabBtn::PieceRect(Piece piece) const {
  switch (piece) {
    case Piece::kTabL: return {0, 0, 45, 375};
    case Piece::kTabM: return {middle_left_, 0, middle_width_, 375};
    case Piece::kTabR: return {right_left_, 0, 15, 375};
    case Piece::kTabL2: return {0, 0, 45, 390};
    case Piece::kTabM2: return {middle_left_, 0, middle_width_, 390};
    case Piece::kTabR2: return {right_left_, 0, 15, 375};
  }
  return {};
}

bool TabBtn::PieceVisible(Piece piece) const {
  bool selected_piece = piece == Piece::kTabL2 || piece == Piece::kTabM2 || piece == Piece::kTabR2;
  return selected_piece != normal_look_;
}

TabHit TabBtn::HitTest(std::int32_t x, std::int32_t y) const {
  TwipRect bounds{0, 0, width_, height_};
  if (!bounds.Contains(x, y)) return TabHit::kNone;
  if (end_visible_ && EndBtnRect().Contains(x, y)) return TabHit::kClose;
  if (label_.Contains(x, y)) return TabHit::kBody;
  for (Piece piece : kAllPieces) {
    if (PieceVisible(piece) && PieceRect(piece).Contains(x, y)) return TabHit::kBody;
  }
  return TabHit::kNone;
}

}  // namespace tw::tabs
