// DocumentInteractionController: the system's "open in / share" menu for one file
// (UIDocumentInteractionController).
//
// Presenting the options menu answers true when the file exists and shows, over the anchor view's
// window, a sheet naming the file with a "Cancel" button; the menu stays presented until
// dismissMenu or that button. The menu offers no share targets: this machine has none to hand the
// file to. Every presentation is also kept in a process-wide list that tests read. Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/geometry.h"

namespace dk::platform {

class View;

// The type identifier of MPEG-4 movies (kUTTypeMPEG4).
inline constexpr const char* kUTTypeMPEG4 = "public.mpeg-4";

class DocumentInteractionController {
 public:
  struct Presentation {
    std::string url;
    std::string uti;
    Rect rect;
    std::weak_ptr<View> view;
    bool animated = false;
  };

  static std::shared_ptr<DocumentInteractionController> interactionControllerWithURL(const std::string& fileURL);
  explicit DocumentInteractionController(std::string fileURL) : url_(std::move(fileURL)) {}
  ~DocumentInteractionController();

  const std::string& url() const { return url_; }
  const std::string& uti() const { return uti_; }
  void setUTI(std::string uti) { uti_ = std::move(uti); }
  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }

  // Shows the menu anchored at `rect` in `view`; false (nothing shown) when the file is missing.
  bool presentOptionsMenu(const Rect& rect, const std::shared_ptr<View>& view, bool animated);
  bool presentOpenInMenu(const Rect& rect, const std::shared_ptr<View>& view, bool animated);
  void dismissMenu(bool animated);
  bool isMenuPresented() const { return menuPresented_; }
  // The sheet on screen while the menu is presented (nullptr otherwise or without a window).
  std::shared_ptr<View> menuView() const { return menuView_; }

  static const std::vector<Presentation>& presentations();
  static void resetForTesting();

 private:
  std::string url_, uti_, name_;
  bool menuPresented_ = false;
  std::shared_ptr<View> menuView_;
};

}  // namespace dk::platform
