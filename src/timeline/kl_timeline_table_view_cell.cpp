#include "timeline/kl_timeline_table_view_cell.h"

#include <algorithm>

#include "foundation/color_codes.h"
#include "platform/graphics/image.h"
#include "platform/media/images/image_view_web_cache.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"

namespace dk {

using platform::LayoutAttribute;
using platform::LayoutConstraint;
using platform::LayoutRelation;
using platform::Rect;

std::shared_ptr<KLTimelineTableViewCell> KLTimelineTableViewCell::make(const std::string& reuseIdentifier) {
  auto cell = std::make_shared<KLTimelineTableViewCell>(reuseIdentifier);
  cell->awakeFromNib();
  return cell;
}

KLTimelineTableViewCell::KLTimelineTableViewCell(const std::string& reuseIdentifier)
    : TableViewCell(reuseIdentifier) {
  build();
}

void KLTimelineTableViewCell::build() {
  setBackgroundColor(platform::Color::clear());
  setSelectionStyle(SelectionStyle::None);
  const auto& content = contentView();
  content->setBackgroundColor(platform::Color::clear());

  timestampLabel_ = std::make_shared<platform::Label>();
  recordingsRenderView_ = std::make_shared<platform::View>();
  eventsRenderView_ = std::make_shared<platform::View>();
  eventContainer_ = std::make_shared<platform::View>();
  lineFromThumbnail_ = std::make_shared<platform::View>();
  eventThumbnail_ = std::make_shared<platform::ImageView>();
  stackView_ = std::make_shared<platform::StackView>();
  eventTypeLabel_ = std::make_shared<KLTimelineEventLabel>();
  downloadStatusContainerView_ = std::make_shared<platform::View>();
  downloadStatusImageView_ = std::make_shared<platform::ImageView>();
  eventActionContainerView_ = std::make_shared<platform::View>();
  eventAction_ = std::make_shared<platform::ImageView>();
  for (auto* view : {&recordingsRenderView_, &eventsRenderView_, &eventContainer_, &downloadStatusContainerView_,
                     &eventActionContainerView_})
    (*view)->setBackgroundColor(std::nullopt);

  content->addSubview(timestampLabel_);
  content->addSubview(recordingsRenderView_);
  content->addSubview(eventsRenderView_);
  content->addSubview(eventContainer_);
  eventContainer_->addSubview(lineFromThumbnail_);
  eventContainer_->addSubview(eventThumbnail_);
  eventContainer_->addSubview(stackView_);
  stackView_->addSubview(eventTypeLabel_);
  stackView_->addSubview(downloadStatusContainerView_);
  stackView_->addSubview(eventActionContainerView_);
  downloadStatusContainerView_->addSubview(downloadStatusImageView_);
  eventActionContainerView_->addSubview(eventAction_);
  eventTypeLabel_->setNumberOfLines(2);
  eventTypeLabel_->setLineBreakMode(platform::LineBreakMode::WordWrap);
  eventAction_->setContentMode(platform::ContentMode::Center);
  downloadStatusImageView_->setContentMode(platform::ContentMode::ScaleAspectFit);

  // Inactive constraints: they carry the constants the data source sets; layoutSubviews reads them.
  timstampLabelOffset_ = LayoutConstraint::make(timestampLabel_, LayoutAttribute::CenterY, LayoutRelation::Equal,
                                                content, LayoutAttribute::Top);
  recordingsRenderViewOffset_ = LayoutConstraint::make(recordingsRenderView_, LayoutAttribute::Left,
                                                       LayoutRelation::Equal, content, LayoutAttribute::Left);
  eventsRenderViewOffset_ = LayoutConstraint::make(eventsRenderView_, LayoutAttribute::Left, LayoutRelation::Equal,
                                                   content, LayoutAttribute::Left);
  eventContainterOffset_ = LayoutConstraint::make(content, LayoutAttribute::Bottom, LayoutRelation::Equal,
                                                  eventContainer_, LayoutAttribute::CenterY);
}

void KLTimelineTableViewCell::awakeFromNib() { setUpView(); }

void KLTimelineTableViewCell::setUpView() {
  timestampLabel_->setTextColor(coolGreyColor());
  timestampLabel_->setFont(XXS_RegularTextFont());
  lineFromThumbnail_->setBackgroundColor(lightColor());
  eventTypeLabel_->setTextColor(darkColor());
  eventTypeLabel_->setDefaultFont(XS_RegularTextFont());
  eventTypeLabel_->setFont(XS_RegularTextFont());
  eventThumbnail_->setClipsToBounds(true);
  eventThumbnail_->layer().setCornerRadius(8);
  eventThumbnail_->setBackgroundColor(lightGreyColor());
  setImageAndTint(*eventAction_, platform::Image::named("more-timeline"), lightColor());
}

void KLTimelineTableViewCell::prepareForReuse() {
  TableViewCell::prepareForReuse();
  // A late thumbnail of the row's previous event must not land in the reused cell.
  platform::cancelCurrentImageLoad(*eventThumbnail_);
}

void KLTimelineTableViewCell::isRecordingViewHidden(bool hidden) {
  if (hidden) recordingsRenderView_->setHidden(true);
}

bool KLTimelineTableViewCell::xOffsetLocatedAtThumbnail(double x) const {
  const double left = eventContainer_->frame().origin.x + eventThumbnail_->frame().origin.x;
  return left < x && x < left + eventThumbnail_->frame().size.width;
}

bool KLTimelineTableViewCell::xOffsetLocatedAtAction(double x) const {
  return x > eventContainer_->frame().origin.x + stackView_->frame().origin.x +
                 eventActionContainerView_->frame().origin.x;
}

void KLTimelineTableViewCell::layoutSubviews() {
  TableViewCell::layoutSubviews();
  const platform::Size size = contentView()->bounds().size;
  const double recordingsX = recordingsRenderViewOffset_->constant();
  const double eventsX = eventsRenderViewOffset_->constant();
  timestampLabel_->setFrame(Rect(2, timstampLabelOffset_->constant() - kLabelHeight / 2,
                                 std::max(0.0, recordingsX - 4), kLabelHeight));
  recordingsRenderView_->setFrame(Rect(recordingsX, 0, kColumnWidth, size.height));
  eventsRenderView_->setFrame(Rect(eventsX, 0, kColumnWidth, size.height));

  // The card's line runs from the mark; the card is centred on the event's time.
  const double cardX = eventsX + kColumnWidth;
  const double cardWidth = std::max(0.0, size.width - cardX - 8);
  eventContainer_->setFrame(Rect(cardX, size.height - eventContainterOffset_->constant() - kThumbnailHeight / 2,
                                 cardWidth, kThumbnailHeight));
  lineFromThumbnail_->setFrame(Rect(0, kThumbnailHeight / 2 - 0.5, kLineLength, 1));
  eventThumbnail_->setFrame(Rect(kLineLength, 0, kThumbnailWidth, kThumbnailHeight));
  const double stackX = kLineLength + kThumbnailWidth + kCardGap;
  const double stackWidth = std::max(0.0, cardWidth - stackX);
  stackView_->setFrame(Rect(stackX, 0, stackWidth, kThumbnailHeight));

  // The strip: type name, then the download state (when shown), then the action at the end.
  double right = stackWidth;
  if (!eventActionContainerView_->isHidden()) {
    right -= kStatusSize + 4;
    eventActionContainerView_->setFrame(Rect(right, (kThumbnailHeight - kStatusSize) / 2, kStatusSize + 4, kStatusSize));
  } else {
    eventActionContainerView_->setFrame(Rect(right, (kThumbnailHeight - kStatusSize) / 2, 0, kStatusSize));
  }
  eventAction_->setFrame(Rect(0, 0, eventActionContainerView_->frame().size.width, kStatusSize));
  if (!downloadStatusContainerView_->isHidden()) {
    right -= kStatusSize + 4;
    downloadStatusContainerView_->setFrame(Rect(right, (kThumbnailHeight - kStatusSize) / 2, kStatusSize, kStatusSize));
  }
  downloadStatusImageView_->setFrame(Rect(0, 0, kStatusSize, kStatusSize));
  eventTypeLabel_->setFrame(Rect(0, 0, std::max(0.0, right - 4), kThumbnailHeight));
}

}  // namespace dk
