// Force touch (capability, previewing registration, a firm press asking for a preview and pressing
// on to pop it), system sounds and toasts: what the screens rely on of each.
#include <gtest/gtest.h>

#include <thread>

#include "platform/ui/device.h"
#include "platform/ui/label.h"
#include "platform/ui/system_sound.h"
#include "platform/ui/toast.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform::testing {
namespace {

// A screen that registers for previewing a square of its view whenever force touch is available,
// as the timeline does, and answers a preview for presses in the top half of that square.
class PeekingScreen : public ViewController, public PreviewingDelegate {
 public:
  void loadView() override {
    ViewController::loadView();
    source = std::make_shared<View>(Rect(50, 100, 200, 200));
    view()->addSubview(source);
  }
  void traitCollectionDidChange(const TraitCollection* previous) override {
    ViewController::traitCollectionDidChange(previous);
    ++traitChanges;
    const bool available = traitCollection().forceTouchCapability == TraitCollection::ForceTouch::Available;
    if (!available && context) {
      unregisterForPreviewing(context);
      context.reset();
    } else if (available && !context) {
      context = registerForPreviewing(std::dynamic_pointer_cast<PreviewingDelegate>(shared_from_this()), source);
    }
  }
  std::shared_ptr<ViewController> previewingViewControllerForLocation(PreviewingContext&, Point p) override {
    locations.push_back(p);
    if (p.y >= 100) return nullptr;
    return std::make_shared<ViewController>();
  }
  void previewingCommitViewController(PreviewingContext&, const std::shared_ptr<ViewController>& c) override {
    committed = c;
  }

  std::shared_ptr<View> source;
  std::shared_ptr<PreviewingContext> context;
  std::vector<Point> locations;
  std::shared_ptr<ViewController> committed;
  int traitChanges = 0;
};

class PeekTest : public UiTest {
 protected:
  void TearDown() override {
    Device::current().setForceTouchAvailable(false);
    UiTest::TearDown();
  }
};

TEST_F(PeekTest, ScreensHearWhenForceTouchComesAndGoesAndRegisterAccordingly) {
  auto screen = std::make_shared<PeekingScreen>();
  showWindow(screen);
  EXPECT_TRUE(screen->previewingContexts().empty());
  const int atAppearance = screen->traitChanges;  // the first traits a screen sees count as a change

  Device::current().setForceTouchAvailable(true);
  EXPECT_EQ(screen->traitChanges, atAppearance + 1);
  ASSERT_EQ(screen->previewingContexts().size(), 1u);
  EXPECT_EQ(screen->previewingContexts()[0]->sourceView.lock(), screen->source);

  // Saying the same again is no change.
  Device::current().setForceTouchAvailable(true);
  EXPECT_EQ(screen->traitChanges, atAppearance + 1);

  Device::current().setForceTouchAvailable(false);
  EXPECT_EQ(screen->traitChanges, atAppearance + 2);
  EXPECT_TRUE(screen->previewingContexts().empty());
}

TEST_F(PeekTest, AFirmPressAsksTheDelegateWithThePointInTheSourceViewAndPressingOnPops) {
  auto screen = std::make_shared<PeekingScreen>();
  auto window = showWindow(screen);
  Device::current().setForceTouchAvailable(true);

  auto peek = window->forcePress({60, 130});
  ASSERT_EQ(screen->locations.size(), 1u);
  EXPECT_EQ(screen->locations[0], (Point{10, 30}));
  ASSERT_TRUE(peek.preview);
  Window::commitPeek(peek);
  EXPECT_EQ(screen->committed, peek.preview);

  // The delegate may decline (lower half); outside the source nobody is asked.
  EXPECT_FALSE(window->forcePress({60, 250}).preview);
  EXPECT_EQ(screen->locations.size(), 2u);
  EXPECT_FALSE(window->forcePress({10, 10}).preview);
  EXPECT_EQ(screen->locations.size(), 2u);
}

TEST_F(PeekTest, WithoutForceTouchOrAfterUnregisteringAPressIsJustAPress) {
  auto screen = std::make_shared<PeekingScreen>();
  auto window = showWindow(screen);
  EXPECT_FALSE(window->forcePress({60, 130}).preview);

  Device::current().setForceTouchAvailable(true);
  screen->unregisterForPreviewing(screen->context);
  EXPECT_FALSE(window->forcePress({60, 130}).preview);
  EXPECT_TRUE(screen->locations.empty());
}

TEST(SystemSoundTest, RecordsEachSoundInOrderFromAnyThread) {
  SystemSound::resetForTesting();
  SystemSound::playAlertSound(kSystemSoundID_Vibrate);
  std::thread([] { SystemSound::playSystemSound(1104); }).join();
  const std::vector<PlayedSystemSound> expected{{kSystemSoundID_Vibrate, true}, {1104, false}};
  EXPECT_EQ(SystemSound::played(), expected);
  SystemSound::resetForTesting();
  EXPECT_TRUE(SystemSound::played().empty());
}

class ToastTest : public UiTest {};

TEST_F(ToastTest, ShowsTheMessageForItsDurationThenFadesAndGoes) {
  auto window = showWindow();
  auto& host = *window->rootViewController()->view();
  ToastStyle style;
  style.messageFont = Font::system(15);
  auto toast = makeToast(host, "Snapshot saved", 2.0, ToastPosition::Bottom, style);
  ASSERT_EQ(toast->superview().get(), &host);
  auto label = std::dynamic_pointer_cast<Label>(toast->subviews().at(0));
  ASSERT_TRUE(label);
  EXPECT_EQ(label->text(), "Snapshot saved");
  // Centred near the bottom, inside the host.
  EXPECT_NEAR(toast->frame().midX(), host.bounds().midX(), 0.5);
  EXPECT_NEAR(toast->frame().maxY(), host.bounds().maxY() - 10, 0.5);

  auto drive = driver();
  drive.advance(1.9);
  EXPECT_TRUE(toast->superview());
  EXPECT_EQ(toast->alpha(), 1.0);
  drive.advance(0.5);
  EXPECT_FALSE(toast->superview());
}

TEST_F(ToastTest, ALongMessageWrapsWithinTheHostsWidth) {
  auto window = showWindow();
  auto& host = *window->rootViewController()->view();
  ToastStyle style;
  style.messageFont = Font::system(15);
  const std::string message =
      "The snapshot could not be saved because the photo library refused to take it just now";
  auto toast = makeToast(host, message, 1.0, ToastPosition::Center, style);
  EXPECT_LE(toast->frame().width(), host.bounds().width() * style.maxWidthPercentage + 0.5);
  EXPECT_GT(toast->frame().height(), 2 * 15.0);
  EXPECT_GE(toast->frame().minX(), 0);
}

}  // namespace
}  // namespace dk::platform::testing
