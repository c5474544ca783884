// View animations: values are applied when the block runs; each changed property becomes a
// LayerAnimation of the block's duration, and the completion runs once all of them have ended.
#include <cmath>
#include <limits>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/view.h"

namespace dk::platform {
namespace {

struct AnimationRecord : std::enable_shared_from_this<AnimationRecord> {
  double duration = 0;
  double delay = 0;
  unsigned options = 0;
  bool animating = true;  // false for performWithoutAnimation and zero-length blocks
  std::function<void(bool)> completion;
  int pending = 0;
  bool allFinished = true;
  bool done = false;
  std::vector<std::weak_ptr<View>> blockedViews;
  std::vector<std::pair<View*, std::string>> seen;  // (view, key) already animated by this block

  void stopped(bool finished) {
    allFinished = allFinished && finished;
    if (--pending > 0) return;
    finish(finished);
  }

  void finish(bool fromTimer) {
    if (done) return;
    done = true;
    for (auto& w : blockedViews) {
      if (auto v = w.lock()) v->adjustInteractionBlockers(-1);
    }
    blockedViews.clear();
    if (!completion) return;
    auto done = std::move(completion);
    const bool finished = allFinished;
    if (fromTimer) {
      done(finished);
    } else {
      // Removed early: report on the next turn, never inside the caller's removeAllAnimations().
      DispatchQueue::main()->async([done, finished] { done(finished); });
    }
  }
};

std::vector<std::shared_ptr<AnimationRecord>>& contextStack() {
  static std::vector<std::shared_ptr<AnimationRecord>> stack;  // main thread only
  return stack;
}

bool& animationsEnabledFlag() {
  static bool enabled = true;
  return enabled;
}

unsigned long& animationKeyCounter() {
  static unsigned long counter = 0;
  return counter;
}

void runBlock(const std::shared_ptr<AnimationRecord>& record, const std::function<void()>& animations) {
  contextStack().push_back(record);
  if (animations) animations();
  contextStack().pop_back();
  record->seen.clear();
}

// After the block: with nothing animated the completion still comes, on the run-loop clock.
void settle(const std::shared_ptr<AnimationRecord>& record) {
  if (record->pending > 0) return;
  if (!record->completion) {
    record->done = true;
    return;
  }
  const double wait = record->animating ? 0.0 : record->delay + record->duration;
  auto rec = record;
  runOnMainAfter(std::max(0.0, wait), [rec] { rec->finish(true); });
}

}  // namespace

void View::noteAnimatedProperty(const char* key) {
  if (contextStack().empty()) return;
  auto record = contextStack().back();
  if (!record->animating || !animationsEnabledFlag() || record->duration <= 0) return;
  for (auto& [v, k] : record->seen) {
    if (v == this && k == key) return;
  }
  record->seen.emplace_back(this, key);
  auto animation = std::make_shared<LayerAnimation>();
  animation->keyPath = key;
  animation->duration = record->duration;
  animation->delay = record->delay;
  if (record->options & kAnimationRepeat) animation->repeatCount = std::numeric_limits<double>::infinity();
  // The layer's animation keeps the record alive until the last of its animations stops.
  animation->onStop = [record](bool finished) { record->stopped(finished); };
  ++record->pending;
  if (!(record->options & kAnimationAllowUserInteraction)) {
    bool already = false;
    for (auto& w : record->blockedViews) already = already || w.lock().get() == this;
    if (!already) {
      adjustInteractionBlockers(1);
      record->blockedViews.push_back(sharedAs<View>());
    }
  }
  layer().addAnimation(animation, std::string(key) + "." + std::to_string(++animationKeyCounter()));
}

void View::animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
                   std::function<void(bool finished)> completion) {
  DK_ASSERT_MAIN_THREAD();
  auto record = std::make_shared<AnimationRecord>();
  record->duration = std::max(0.0, duration);
  record->delay = std::max(0.0, delay);
  record->options = options;
  record->animating = record->duration > 0 && animationsEnabledFlag();
  record->completion = std::move(completion);
  runBlock(record, animations);
  settle(record);
}

void View::animate(double duration, const std::function<void()>& animations,
                   std::function<void(bool finished)> completion) {
  animate(duration, 0, 0, animations, std::move(completion));
}

void View::animateWithSpring(double duration, double delay, double damping, double initialVelocity,
                             unsigned options, const std::function<void()>& animations,
                             std::function<void(bool finished)> completion) {
  // A spring changes the curve, not the span: it settles within its duration.
  animate(duration, delay, options, animations, std::move(completion));
}

void View::transition(const std::shared_ptr<View>& view, double duration, unsigned options,
                      const std::function<void()>& animations, std::function<void(bool finished)> completion) {
  DK_ASSERT_MAIN_THREAD();
  performWithoutAnimation(animations);
  if (!view || duration <= 0 || !animationsEnabledFlag()) {
    if (completion) runOnMainAfter(std::max(0.0, duration), [completion] { completion(true); });
    return;
  }
  auto animation = std::make_shared<LayerAnimation>();
  animation->keyPath = "transition";
  animation->duration = duration;
  animation->onStop = [completion](bool finished) {
    if (completion) completion(finished);
  };
  view->layer().addAnimation(animation, "transition." + std::to_string(++animationKeyCounter()));
}

void View::transition(const std::shared_ptr<View>& from, const std::shared_ptr<View>& to, double duration,
                      unsigned options, std::function<void(bool finished)> completion) {
  DK_ASSERT_MAIN_THREAD();
  std::shared_ptr<View> container = from ? from->superview() : nullptr;
  auto swap = [from, to, options, container] {
    if (options & kAnimationShowHideTransitionViews) {
      if (from) from->setHidden(true);
      if (to) to->setHidden(false);
      return;
    }
    if (container && to) container->insertSubviewAbove(to, from.get());
    if (from) from->removeFromSuperview();
  };
  transition(container ? container : to, duration, options, swap, std::move(completion));
}

void View::performWithoutAnimation(const std::function<void()>& actions) {
  auto record = std::make_shared<AnimationRecord>();
  record->animating = false;
  // Animation blocks run inside are not animated either.
  const bool enabled = animationsEnabledFlag();
  animationsEnabledFlag() = false;
  runBlock(record, actions);
  animationsEnabledFlag() = enabled;
}

bool View::areAnimationsEnabled() { return animationsEnabledFlag(); }
void View::setAnimationsEnabled(bool enabled) { animationsEnabledFlag() = enabled; }

double View::inheritedAnimationDuration() {
  if (contextStack().empty() || !contextStack().back()->animating) return 0;
  return contextStack().back()->duration;
}

}  // namespace dk::platform
