#include "timeline/kl_date_month_picker_view_cell.h"

#include <cmath>

#include "foundation/color_codes.h"
#include "platform/graphics/image.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"

namespace dk {

namespace {
constexpr double kMarkWidth = 14;
constexpr double kMarkHeight = 8;
}  // namespace

std::shared_ptr<KLDateMonthPickerViewCell> KLDateMonthPickerViewCell::loadFromNib() {
  auto cell = std::make_shared<KLDateMonthPickerViewCell>();
  cell->awakeFromNib();
  return cell;
}

KLDateMonthPickerViewCell::KLDateMonthPickerViewCell() : View(platform::Rect(0, 0, 100, 50)) {
  selectionImageView_ = std::make_shared<platform::ImageView>();
  selectionImageView_->setContentMode(platform::ContentMode::ScaleAspectFit);
  dateMonthLabel_ = std::make_shared<platform::Label>();
  dateMonthLabel_->setTextAlignment(platform::TextAlignment::Center);
  addSubview(selectionImageView_);
  addSubview(dateMonthLabel_);
}

void KLDateMonthPickerViewCell::awakeFromNib() {
  dateMonthLabel_->setFont(XS_MediumTextFont());
  setImageAndTint(*selectionImageView_, platform::Image::named("Selector_previous_next"), darkColor());
  dateMonthLabel_->setTextColor(coolGreyColor());
  setTransform(platform::AffineTransform::rotation(-M_PI_2));
}

void KLDateMonthPickerViewCell::setText(std::string text) {
  text_ = std::move(text);
  setNeedsLayout();
}

void KLDateMonthPickerViewCell::setIsSelected(bool selected) {
  isSelected_ = selected;
  if (selected) {
    setImageAndTint(*selectionImageView_, platform::Image::named("Triangle"), darkColor());
    dateMonthLabel_->setTextColor(darkColor());
  } else {
    setImageAndTint(*selectionImageView_, platform::Image::named("Selector_previous_next"), coolGreyColor());
    dateMonthLabel_->setTextColor(coolGreyColor());
  }
  setNeedsLayout();
  layoutIfNeeded();
}

void KLDateMonthPickerViewCell::layoutSubviews() {
  View::layoutSubviews();
  const platform::Size size = bounds().size;
  selectionImageView_->setFrame(platform::Rect((size.width - kMarkWidth) / 2, 4, kMarkWidth, kMarkHeight));
  dateMonthLabel_->setFrame(platform::Rect(0, 4 + kMarkHeight, size.width, size.height - 2 * (4 + kMarkHeight)));
  // Only a new text: a label's text change asks this cell for another layout.
  if (dateMonthLabel_->text() != text_) dateMonthLabel_->setText(text_);
}

}  // namespace dk
