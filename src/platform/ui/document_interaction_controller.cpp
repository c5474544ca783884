#include "platform/ui/document_interaction_controller.h"

#include <cstdio>
#include <filesystem>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"

namespace dk::platform {
namespace {
std::vector<DocumentInteractionController::Presentation>& presentationLog() {
  static std::vector<DocumentInteractionController::Presentation> log;  // main thread only
  return log;
}

std::string pathOf(const std::string& url) {
  static const std::string scheme = "file://";
  return url.rfind(scheme, 0) == 0 ? url.substr(scheme.size()) : url;
}

// "MPEG-4 movie, 1.2 MB": what the sheet says under the file name.
std::string describeFile(const std::string& path, const std::string& uti) {
  std::string kind = uti == kUTTypeMPEG4 ? "MPEG-4 movie" : "Document";
  std::error_code ec;
  const auto bytes = std::filesystem::file_size(path, ec);
  if (ec) return kind;
  char size[32];
  if (bytes >= 1000 * 1000) {
    std::snprintf(size, sizeof size, "%.1f MB", bytes / 1e6);
  } else {
    std::snprintf(size, sizeof size, "%.0f KB", bytes < 1000 ? 1.0 : bytes / 1e3);
  }
  return kind + ", " + size;
}

constexpr double kSheetMargin = 8;
constexpr double kHeaderHeight = 76;
constexpr double kCancelHeight = 57;

std::shared_ptr<Label> sheetLabel(const std::string& text, Font font, Color color, const Rect& frame) {
  auto label = std::make_shared<Label>(frame);
  label->setText(text);
  label->setFont(font);
  label->setTextColor(color);
  label->setTextAlignment(TextAlignment::Center);
  return label;
}
}  // namespace

DocumentInteractionController::~DocumentInteractionController() {
  if (menuView_) menuView_->removeFromSuperview();
}

void DocumentInteractionController::dismissMenu(bool) {
  menuPresented_ = false;
  if (menuView_) menuView_->removeFromSuperview();
  menuView_.reset();
}

std::shared_ptr<DocumentInteractionController> DocumentInteractionController::interactionControllerWithURL(
    const std::string& fileURL) {
  auto controller = std::make_shared<DocumentInteractionController>(fileURL);
  controller->name_ = std::filesystem::path(pathOf(fileURL)).filename().string();
  return controller;
}

bool DocumentInteractionController::presentOptionsMenu(const Rect& rect, const std::shared_ptr<View>& view,
                                                       bool animated) {
  DK_ASSERT_MAIN_THREAD();
  std::error_code ec;
  if (!std::filesystem::exists(pathOf(url_), ec)) return false;
  menuPresented_ = true;
  presentationLog().push_back({url_, uti_, rect, view, animated});
  auto window = view ? view->window() : nullptr;
  if (!window) return true;
  if (menuView_) menuView_->removeFromSuperview();

  // A dimmed cover with the sheet at the bottom of the window, as the system shows it on a phone.
  const Rect bounds = window->bounds();
  auto cover = std::make_shared<View>(bounds);
  cover->setBackgroundColor(Color::rgba(0, 0, 0, 0.4));
  cover->setAccessibilityIdentifier("document_options_menu");
  const double width = bounds.width() - 2 * kSheetMargin;
  const double cancelY = bounds.height() - kSheetMargin - kCancelHeight;
  const double headerY = cancelY - kSheetMargin - kHeaderHeight;

  auto header = std::make_shared<View>(Rect(kSheetMargin, headerY, width, kHeaderHeight));
  header->setBackgroundColor(Color::white(0.97));
  header->layer().setCornerRadius(13);
  header->setClipsToBounds(true);
  header->addSubview(sheetLabel(name_, Font::system(17, FontWeight::Semibold), Color::black(),
                                Rect(16, 14, width - 32, 24)));
  header->addSubview(sheetLabel(describeFile(pathOf(url_), uti_), Font::system(13), Color::white(0.45),
                                Rect(16, 42, width - 32, 20)));
  cover->addSubview(header);

  auto cancel = std::make_shared<Button>(Button::Type::System);
  cancel->setFrame(Rect(kSheetMargin, cancelY, width, kCancelHeight));
  cancel->setBackgroundColor(Color::whiteColor());
  cancel->layer().setCornerRadius(13);
  cancel->setTitle("Cancel", kControlStateNormal);
  cancel->setTitleColor(Color::rgba(0, 0.48, 1), kControlStateNormal);
  cancel->titleLabel()->setFont(Font::system(20, FontWeight::Semibold));
  cancel->setAccessibilityIdentifier("document_options_cancel");
  cancel->addTarget(this, [this](Control&) { dismissMenu(true); }, kControlEventTouchUpInside);
  cover->addSubview(cancel);

  window->addSubview(cover);
  menuView_ = cover;
  return true;
}

bool DocumentInteractionController::presentOpenInMenu(const Rect& rect, const std::shared_ptr<View>& view,
                                                      bool animated) {
  return presentOptionsMenu(rect, view, animated);
}

const std::vector<DocumentInteractionController::Presentation>& DocumentInteractionController::presentations() {
  return presentationLog();
}

void DocumentInteractionController::resetForTesting() { presentationLog().clear(); }

}  // namespace dk::platform
