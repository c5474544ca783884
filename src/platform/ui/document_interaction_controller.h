// DocumentInteractionController: the system's "open in / share" menu for one file
// (UIDocumentInteractionController).
//
// Headless: presenting the options menu records where it was anchored and answers true when the
// file exists; the menu stays "presented" until dismissMenu. Every presentation is also kept in a
// process-wide list that tests read. Main thread only.
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

  const std::string& url() const { return url_; }
  const std::string& uti() const { return uti_; }
  void setUTI(std::string uti) { uti_ = std::move(uti); }
  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }

  // Shows the menu anchored at `rect` in `view`; false (nothing shown) when the file is missing.
  bool presentOptionsMenu(const Rect& rect, const std::shared_ptr<View>& view, bool animated);
  bool presentOpenInMenu(const Rect& rect, const std::shared_ptr<View>& view, bool animated);
  void dismissMenu(bool animated) { menuPresented_ = false; }
  bool isMenuPresented() const { return menuPresented_; }

  static const std::vector<Presentation>& presentations();
  static void resetForTesting();

 private:
  std::string url_, uti_, name_;
  bool menuPresented_ = false;
};

}  // namespace dk::platform
