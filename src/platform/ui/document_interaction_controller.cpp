#include "platform/ui/document_interaction_controller.h"

#include <filesystem>

#include "platform/ui/main_thread.h"

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
}  // namespace

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
