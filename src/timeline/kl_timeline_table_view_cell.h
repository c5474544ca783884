// KLTimelineTableViewCell: one row of the time strip. From left to right: the time label, the
// recordings column (bars), the events column (marks) and, when the row holds a thumbnail event,
// the event card: a line from the mark, the rounded thumbnail, and a strip with the type name,
// the download state and the action button.
//
// The layout the storyboard would give is built in code; the data source moves the pieces through
// the named constraints' constants: `timstampLabelOffset` (row top to the label's line),
// `recordingsRenderViewOffset` and `eventsRenderViewOffset` (left edge to each column) and
// `eventContainterOffset` (row bottom to the card's line). Main thread only.
#pragma once

#include <memory>

#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/layout_constraint.h"
#include "platform/ui/stack_view.h"
#include "platform/ui/table_view_cell.h"
#include "timeline/kl_timeline_event_label.h"
#include "timeline/kl_timeline_item_interfaces.h"

namespace dk {

inline constexpr const char* kTimelineCellIdentifier = "timelineCellIdentifier";

// What a row asks of the timeline screen: where its columns stand and whether an event offers its
// action; the two taps are optional ("userDidTapThumbnailForEvent:",
// "userDidTapActionButtonForEvent:").
class KLTimelineTableViewCellDelegate : public virtual platform::Protocol {
 public:
  virtual double recordingsRenderViewOffsetFromLeft() = 0;
  virtual double eventsRenderViewOffsetFromLeft() = 0;
  virtual bool shouldHideActionButtonForEvent(const KLTimelineEventPtr& event) = 0;
  virtual void userDidTapThumbnailForEvent(const KLTimelineEventPtr& event) {}
  virtual void userDidTapActionButtonForEvent(const KLTimelineEventPtr& event) {}
};

class KLTimelineTableViewCell : public platform::TableViewCell {
 public:
  // Sizes of the layout resource.
  static constexpr double kColumnWidth = 8;
  static constexpr double kThumbnailWidth = 96;
  static constexpr double kThumbnailHeight = 54;
  static constexpr double kLineLength = 16;
  static constexpr double kStatusSize = 22;
  static constexpr double kCardGap = 6;
  static constexpr double kLabelHeight = 14;

  // A cell as its layout resource makes it (awakeFromNib already run).
  static std::shared_ptr<KLTimelineTableViewCell> make(const std::string& reuseIdentifier = kTimelineCellIdentifier);
  explicit KLTimelineTableViewCell(const std::string& reuseIdentifier = kTimelineCellIdentifier);

  const std::shared_ptr<platform::Label>& timestampLabel() const { return timestampLabel_; }
  const std::shared_ptr<platform::View>& recordingsRenderView() const { return recordingsRenderView_; }
  const std::shared_ptr<platform::View>& eventsRenderView() const { return eventsRenderView_; }
  const std::shared_ptr<platform::View>& eventContainer() const { return eventContainer_; }
  const std::shared_ptr<platform::ImageView>& eventThumbnail() const { return eventThumbnail_; }
  const std::shared_ptr<platform::StackView>& stackView() const { return stackView_; }
  const std::shared_ptr<platform::View>& downloadStatusContainerView() const { return downloadStatusContainerView_; }
  const std::shared_ptr<platform::ImageView>& downloadStatusImageView() const { return downloadStatusImageView_; }
  const std::shared_ptr<platform::View>& eventActionContainerView() const { return eventActionContainerView_; }
  const std::shared_ptr<platform::ImageView>& eventAction() const { return eventAction_; }
  const std::shared_ptr<KLTimelineEventLabel>& eventTypeLabel() const { return eventTypeLabel_; }
  const std::shared_ptr<platform::LayoutConstraint>& timstampLabelOffset() const { return timstampLabelOffset_; }
  const std::shared_ptr<platform::LayoutConstraint>& recordingsRenderViewOffset() const {
    return recordingsRenderViewOffset_;
  }
  const std::shared_ptr<platform::LayoutConstraint>& eventsRenderViewOffset() const { return eventsRenderViewOffset_; }
  const std::shared_ptr<platform::LayoutConstraint>& eventContainterOffset() const { return eventContainterOffset_; }
  const std::shared_ptr<platform::View>& lineFromThumbnail() const { return lineFromThumbnail_; }

  // YES hides the recordings column for good; NO changes nothing.
  void isRecordingViewHidden(bool hidden);
  // x in the cell's coordinates.
  bool xOffsetLocatedAtThumbnail(double x) const;
  bool xOffsetLocatedAtAction(double x) const;

  void awakeFromNib() override;
  void setUpView();
  void prepareForReuse() override;
  void layoutSubviews() override;

 private:
  void build();

  std::shared_ptr<platform::Label> timestampLabel_;
  std::shared_ptr<platform::View> recordingsRenderView_, eventsRenderView_, eventContainer_;
  std::shared_ptr<platform::ImageView> eventThumbnail_;
  std::shared_ptr<platform::StackView> stackView_;
  std::shared_ptr<platform::View> downloadStatusContainerView_;
  std::shared_ptr<platform::ImageView> downloadStatusImageView_;
  std::shared_ptr<platform::View> eventActionContainerView_;
  std::shared_ptr<platform::ImageView> eventAction_;
  std::shared_ptr<KLTimelineEventLabel> eventTypeLabel_;
  std::shared_ptr<platform::LayoutConstraint> timstampLabelOffset_, recordingsRenderViewOffset_,
      eventsRenderViewOffset_, eventContainterOffset_;
  std::shared_ptr<platform::View> lineFromThumbnail_;
};

}  // namespace dk
