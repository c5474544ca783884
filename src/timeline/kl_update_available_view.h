// KLUpdateAvailableView: the small rounded badge that tells of newer events above the visible
// part of the time strip. Its content (image and label) comes from the nib named after the class;
// the styling is applied at every size request, the layout constraints are made once.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/layout_constraint.h"
#include "platform/ui/view.h"

namespace dk {

class KLUpdateAvailableView : public platform::View {
 public:
  static constexpr double kHeight = 40.0;
  static constexpr const char* kNibName = "KLUpdateAvailableView";

  // initWithCoder: clear background, the nib's first view added as content.
  static std::shared_ptr<KLUpdateAvailableView> make(const platform::Rect& frame);
  explicit KLUpdateAvailableView(const platform::Rect& frame);

  std::shared_ptr<platform::View> view() const { return view_.lock(); }
  std::shared_ptr<platform::ImageView> imageView() const { return imageView_.lock(); }
  std::shared_ptr<platform::Label> label() const { return label_.lock(); }
  void setOutlets(std::shared_ptr<platform::View> view, std::shared_ptr<platform::ImageView> image,
                  std::shared_ptr<platform::Label> label);
  // A localisation key of the framework bundle (shown as is when it has no text).
  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }

  // Styles the content and answers (text width + image width + 24, 40).
  platform::Size intrinsicContentSize() const override;

 private:
  void loadContent();

  std::weak_ptr<platform::View> view_;
  std::weak_ptr<platform::ImageView> imageView_;
  std::weak_ptr<platform::Label> label_;
  std::string title_;
  mutable std::shared_ptr<platform::LayoutConstraint> widthConstraint_;
};

// Registers the badge's content nib (the framework does this at first use).
void registerUpdateAvailableViewNib();

}  // namespace dk
