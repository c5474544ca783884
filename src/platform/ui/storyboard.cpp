#include "platform/ui/storyboard.h"

#include <cstdio>
#include <map>

#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"

namespace dk::platform {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<Storyboard>> storyboards;
  std::map<std::string, Nib::Loader> nibs;
};

Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

}  // namespace

std::shared_ptr<Storyboard> Storyboard::named(const std::string& name) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.storyboards.find(name);
  return it == r.storyboards.end() ? nullptr : it->second;
}

std::shared_ptr<Storyboard> Storyboard::registerStoryboard(const std::string& name) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto& slot = r.storyboards[name];
  if (!slot) slot = std::make_shared<Storyboard>(name);
  return slot;
}

void Storyboard::resetForTesting() {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.storyboards.clear();
}

void Storyboard::registerScene(const std::string& identifier, Factory factory) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [id, f] : scenes_) {
    if (id == identifier) {
      f = std::move(factory);
      return;
    }
  }
  scenes_.emplace_back(identifier, std::move(factory));
  if (initial_.empty()) initial_ = identifier;
}

void Storyboard::setInitialScene(const std::string& identifier) {
  std::lock_guard<std::mutex> lock(mutex_);
  initial_ = identifier;
}

void Storyboard::registerSegue(const std::string& fromScene, const std::string& identifier, const std::string& toScene,
                               SegueKind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  segues_.push_back({{fromScene, identifier}, Segue{toScene, kind}});
}

bool Storyboard::hasScene(const std::string& identifier) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [id, f] : scenes_) {
    if (id == identifier) return true;
  }
  return false;
}

std::shared_ptr<ViewController> Storyboard::instantiate(const std::string& identifier) {
  Factory factory;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [id, f] : scenes_) {
      if (id == identifier) factory = f;
    }
  }
  if (!factory) {
    std::fprintf(stderr, "Storyboard (%s) doesn't contain a view controller with identifier '%s'\n", name_.c_str(),
                 identifier.c_str());
    return nullptr;
  }
  auto controller = factory();
  if (controller) {
    controller->setStoryboard(weak_from_this());
    controller->setSceneIdentifier(identifier);
  }
  return controller;
}

std::shared_ptr<ViewController> Storyboard::instantiateInitial() {
  std::string initial;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    initial = initial_;
  }
  return initial.empty() ? nullptr : instantiate(initial);
}

bool Storyboard::segue(const std::string& fromScene, const std::string& identifier, Segue* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [key, segue] : segues_) {
    if (key.first == fromScene && key.second == identifier) {
      if (out) *out = segue;
      return true;
    }
  }
  return false;
}

void Nib::registerNib(const std::string& name, Loader loader) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.nibs[name] = std::move(loader);
}

bool Nib::exists(const std::string& name) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.nibs.count(name) > 0;
}

std::vector<std::shared_ptr<View>> Nib::load(const std::string& name, const std::shared_ptr<void>& owner) {
  Loader loader;
  {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.nibs.find(name);
    if (it != r.nibs.end()) loader = it->second;
  }
  if (!loader) {
    std::fprintf(stderr, "Could not load NIB in bundle with name '%s'\n", name.c_str());
    return {};
  }
  return loader(owner);
}

void Nib::resetForTesting() {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.nibs.clear();
}

}  // namespace dk::platform
