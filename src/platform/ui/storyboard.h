// Storyboards and nibs: named registries of factories for screens and views.
//
// The platform builds screens from layout resources; here the layout is code, registered under
// the resource's name. A Storyboard ("Timeline") maps scene identifiers ("timelineScreen") to
// controller factories and may carry segues (scene + identifier → destination scene, presented
// modally or pushed). A Nib ("Recordings_PORTRAIT_Controls") maps a name to a loader that builds
// the top-level views for an owner (the owner's outlets are set by the loader).
// Registration and lookup are thread-safe; the factories themselves run on the caller's thread
// (the main thread, for anything UI).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dk::platform {

class View;
class ViewController;

class Storyboard : public std::enable_shared_from_this<Storyboard> {
 public:
  using Factory = std::function<std::shared_ptr<ViewController>()>;
  enum class SegueKind { Present, Push };

  // The storyboard registered under `name`, or nullptr.
  static std::shared_ptr<Storyboard> named(const std::string& name);
  // Creates (or returns) the storyboard `name` for registering scenes.
  static std::shared_ptr<Storyboard> registerStoryboard(const std::string& name);
  static void resetForTesting();

  const std::string& name() const { return name_; }
  void registerScene(const std::string& identifier, Factory factory);
  void setInitialScene(const std::string& identifier);
  void registerSegue(const std::string& fromScene, const std::string& identifier, const std::string& toScene,
                     SegueKind kind = SegueKind::Present);
  bool hasScene(const std::string& identifier) const;

  // A new controller of the scene, or nullptr (logged) when there is none. The controller knows
  // its storyboard and scene identifier.
  std::shared_ptr<ViewController> instantiate(const std::string& identifier);
  std::shared_ptr<ViewController> instantiateInitial();

  struct Segue {
    std::string toScene;
    SegueKind kind;
  };
  // The segue from `fromScene` named `identifier`, if registered.
  bool segue(const std::string& fromScene, const std::string& identifier, Segue* out) const;

  explicit Storyboard(std::string name) : name_(std::move(name)) {}

 private:
  std::string name_;
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, Factory>> scenes_;
  std::vector<std::pair<std::pair<std::string, std::string>, Segue>> segues_;
  std::string initial_;
};

class Nib {
 public:
  // Builds the top-level objects for `owner` (which may be nullptr).
  using Loader = std::function<std::vector<std::shared_ptr<View>>(const std::shared_ptr<void>& owner)>;

  static void registerNib(const std::string& name, Loader loader);
  static bool exists(const std::string& name);
  // The top-level views of the nib (empty and logged when no nib has that name).
  static std::vector<std::shared_ptr<View>> load(const std::string& name, const std::shared_ptr<void>& owner = nullptr);
  static void resetForTesting();
};

}  // namespace dk::platform
