#include "platform/ui/display_link.h"

#include <algorithm>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/timer.h"
#include "platform/ui/main_thread.h"

namespace dk::platform {

struct DisplayLinkRegistry {
  std::vector<DisplayLink*> links;  // main thread only
  std::shared_ptr<Timer> timer;

  static DisplayLinkRegistry& shared() {
    static DisplayLinkRegistry* registry = new DisplayLinkRegistry;
    return *registry;
  }

  void add(DisplayLink* link) {
    links.push_back(link);
    if (!timer) {
      timer = Timer::scheduled(DisplayLink::kFrameInterval, true, DispatchQueue::main(), [] { shared().tick(); });
    }
  }

  void remove(DisplayLink* link) {
    links.erase(std::remove(links.begin(), links.end(), link), links.end());
    if (links.empty() && timer) {
      timer->invalidate();
      timer.reset();
    }
  }

  void tick() {
    const double t = now();
    auto current = links;  // a tick may add or remove links
    for (DisplayLink* link : current) {
      if (std::find(links.begin(), links.end(), link) == links.end() || !link->active_) continue;
      auto tick = link->tick_;  // the link may be destroyed by its own tick
      tick(t);
    }
  }
};

std::shared_ptr<DisplayLink> DisplayLink::create(std::function<void(double)> tick) {
  DK_ASSERT_MAIN_THREAD();
  std::shared_ptr<DisplayLink> link(new DisplayLink(std::move(tick)));
  DisplayLinkRegistry::shared().add(link.get());
  return link;
}

DisplayLink::~DisplayLink() { invalidate(); }

void DisplayLink::invalidate() {
  if (!active_) return;
  active_ = false;
  DisplayLinkRegistry::shared().remove(this);
}

size_t DisplayLink::activeCount() { return DisplayLinkRegistry::shared().links.size(); }

}  // namespace dk::platform
