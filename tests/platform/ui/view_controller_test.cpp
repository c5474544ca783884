// Screens: lazy view loading, appearance order for presentations, containment, storyboards, alerts.
#include <gtest/gtest.h>

#include "platform/ui/alert_controller.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/storyboard.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform::testing {
namespace {

// Logs its life cycle as "<name> <callback>" into a shared log.
class LoggedScreen : public ViewController {
 public:
  LoggedScreen(std::string name, CallLog& log) : name_(std::move(name)), log_(log) {}
  void loadView() override {
    log_.add(name_ + " loadView");
    ViewController::loadView();
  }
  void viewDidLoad() override { log_.add(name_ + " viewDidLoad"); }
  void viewWillAppear(bool) override { log_.add(name_ + " willAppear"); }
  void viewDidAppear(bool) override { log_.add(name_ + " didAppear"); }
  void viewWillDisappear(bool) override { log_.add(name_ + " willDisappear"); }
  void viewDidDisappear(bool) override { log_.add(name_ + " didDisappear"); }
  void viewWillTransitionToSize(Size size, TransitionCoordinator& c) override {
    log_.add(name_ + " willTransitionTo " + std::to_string(int(size.width)) + "x" + std::to_string(int(size.height)));
    ViewController::viewWillTransitionToSize(size, c);
  }
  unsigned supportedInterfaceOrientations() const override { return orientations; }
  unsigned orientations = kOrientationMaskAllButUpsideDown;

 private:
  std::string name_;
  CallLog& log_;
};

class ViewControllerTest : public UiTest {
 protected:
  std::shared_ptr<LoggedScreen> make(const std::string& name) { return std::make_shared<LoggedScreen>(name, log_); }
  CallLog log_;
};

TEST_F(ViewControllerTest, TheViewLoadsOnFirstUseOnly) {
  auto a = make("A");
  EXPECT_FALSE(a->isViewLoaded());
  EXPECT_TRUE(log_.calls.empty());
  auto v = a->view();
  EXPECT_TRUE(a->isViewLoaded());
  EXPECT_EQ(a->view(), v);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"A loadView", "A viewDidLoad"}));
  EXPECT_EQ(v->viewController(), a);
  EXPECT_EQ(v->frame(), platform::Screen::main().bounds());
}

TEST_F(ViewControllerTest, TheWindowsRootAppearsWhenShown) {
  auto a = make("A");
  showWindow(a);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"A loadView", "A viewDidLoad", "A willAppear", "A didAppear"}));
  window_->setRootViewController(make("B"));
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"A willDisappear", "A didDisappear", "B loadView", "B viewDidLoad",
                                                    "B willAppear", "B didAppear"}));
}

TEST_F(ViewControllerTest, AFullScreenPresentationMakesThePresenterDisappear) {
  auto a = make("A");
  showWindow(a);
  auto b = make("B");
  b->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
  log_.take();
  bool completed = false;
  a->presentViewController(b, true, [&] { completed = true; });
  EXPECT_TRUE(b->isBeingPresented());
  EXPECT_EQ(a->presentedViewController(), b);
  EXPECT_EQ(b->presentingViewController(), a);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"B loadView", "B viewDidLoad", "A willDisappear", "B willAppear"}));
  driver().advance(0.2);
  EXPECT_FALSE(completed);  // the slide takes its time
  driver().advance(0.3);
  EXPECT_TRUE(completed);
  EXPECT_FALSE(b->isBeingPresented());
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"A didDisappear", "B didAppear"}));
  EXPECT_EQ(a->view()->window(), nullptr);  // covered screens leave the window
  EXPECT_EQ(window_->topPresentedViewController(), b);

  bool dismissed = false;
  b->dismissViewController(true, [&] { dismissed = true; });
  EXPECT_TRUE(b->isBeingDismissed());
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"B willDisappear", "A willAppear"}));
  driver().advance(0.5);
  EXPECT_TRUE(dismissed);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"B didDisappear", "A didAppear"}));
  EXPECT_EQ(a->presentedViewController(), nullptr);
  EXPECT_EQ(b->presentingViewController(), nullptr);
  EXPECT_EQ(a->view()->window(), window_);
  EXPECT_EQ(b->view()->window(), nullptr);
}

TEST_F(ViewControllerTest, OtherStylesLeaveThePresenterOnScreenAndSilent) {
  for (auto style : {ModalPresentationStyle::OverFullScreen, ModalPresentationStyle::OverCurrentContext,
                     ModalPresentationStyle::Automatic, ModalPresentationStyle::Popover}) {
    auto a = make("A");
    showWindow(a);
    auto b = make("B");
    b->setModalPresentationStyle(style);
    log_.take();
    a->presentViewController(b, false);
    driver().pump();
    EXPECT_EQ(log_.take(), (std::vector<std::string>{"B loadView", "B viewDidLoad", "B willAppear", "B didAppear"}));
    EXPECT_EQ(a->view()->window(), window_);
    a->dismissViewController(false);
    driver().pump();
    EXPECT_EQ(log_.take(), (std::vector<std::string>{"B willDisappear", "B didDisappear"}));
  }
}

TEST_F(ViewControllerTest, PresentingWhilePresentingIsRefused) {
  auto a = make("A");
  showWindow(a);
  auto b = make("B"), c = make("C");
  a->presentViewController(b, false);
  int completions = 0;
  a->presentViewController(c, false, [&] { ++completions; });  // mid-transition
  driver().pump();
  a->presentViewController(c, false, [&] { ++completions; });  // already presenting
  driver().pump();
  EXPECT_EQ(completions, 0);
  EXPECT_EQ(a->presentedViewController(), b);
  EXPECT_FALSE(c->isViewLoaded());
  b->presentViewController(c, false, [&] { ++completions; });  // the top screen may present
  driver().pump();
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(window_->topPresentedViewController(), c);
  a->dismissViewController(false);  // takes everything above it away
  driver().pump();
  EXPECT_EQ(window_->topPresentedViewController(), a);
  EXPECT_EQ(c->view()->window(), nullptr);
}

TEST_F(ViewControllerTest, AChildPresentsForItsContainer) {
  auto a = make("A");
  showWindow(a);
  auto child = make("child");
  a->addChildViewController(child);
  a->view()->addSubview(child->view());
  child->didMoveToParentViewController(a.get());
  auto b = make("B");
  b->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
  log_.take();
  child->presentViewController(b, false);
  driver().pump();
  EXPECT_EQ(b->presentingViewController(), a);
  EXPECT_EQ(child->presentedViewController(), b);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"B loadView", "B viewDidLoad", "A willDisappear", "child willDisappear",
                                                    "B willAppear", "A didDisappear", "child didDisappear", "B didAppear"}));
}

class SlideInAnimator : public AnimatedTransitioning {
 public:
  std::shared_ptr<TransitionContext> context;
  double transitionDuration(TransitionContext*) override { return 0.3; }
  void animateTransition(const std::shared_ptr<TransitionContext>& c) override {
    context = c;
    auto to = c->toView();
    if (c->toViewController() && to && !to->superview()) c->containerView()->addSubview(to);
  }
};

class Animations : public TransitioningDelegate {
 public:
  std::shared_ptr<SlideInAnimator> present = std::make_shared<SlideInAnimator>();
  std::shared_ptr<SlideInAnimator> dismiss = std::make_shared<SlideInAnimator>();
  std::shared_ptr<AnimatedTransitioning> animationControllerForPresented(const std::shared_ptr<ViewController>&,
                                                                         const std::shared_ptr<ViewController>&,
                                                                         const std::shared_ptr<ViewController>&) override {
    return present;
  }
  std::shared_ptr<AnimatedTransitioning> animationControllerForDismissed(const std::shared_ptr<ViewController>&) override {
    return dismiss;
  }
};

TEST_F(ViewControllerTest, ACustomAnimatorDecidesWhenTheTransitionEnds) {
  auto a = make("A");
  showWindow(a);
  auto b = make("B");
  b->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
  auto animations = std::make_shared<Animations>();
  b->setTransitioningDelegate(animations);
  bool done = false;
  a->presentViewController(b, true, [&] { done = true; });
  ASSERT_TRUE(animations->present->context);
  auto context = animations->present->context;
  EXPECT_EQ(context->fromViewController(), a);
  EXPECT_EQ(context->toViewController(), b);
  EXPECT_TRUE(context->isAnimated());
  EXPECT_EQ(context->containerView()->window(), window_);
  driver().advance(5);
  EXPECT_FALSE(done);  // nothing ends until the animator says so
  context->completeTransition(true);
  EXPECT_TRUE(done);
  EXPECT_EQ(b->appearance(), ViewController::Appearance::Appeared);

  b->dismissViewController(true);
  ASSERT_TRUE(animations->dismiss->context);
  EXPECT_EQ(animations->dismiss->context->fromViewController(), b);
  EXPECT_EQ(animations->dismiss->context->toViewController(), a);
  EXPECT_EQ(a->view()->window(), window_);  // back under the screen being dismissed
  animations->dismiss->context->completeTransition(true);
  EXPECT_EQ(a->presentedViewController(), nullptr);
}

TEST_F(ViewControllerTest, ChildrenAppearWithTheirParentAndWhenAddedToAShownOne) {
  auto parent = make("P");
  auto early = make("early");
  parent->addChildViewController(early);
  parent->view()->addSubview(early->view());
  log_.take();
  showWindow(parent);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"P willAppear", "early willAppear", "P didAppear", "early didAppear"}));
  auto late = make("late");
  parent->addChildViewController(late);
  parent->view()->addSubview(late->view());
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"late loadView", "late viewDidLoad", "late willAppear", "late didAppear"}));
  late->view()->removeFromSuperview();
  late->removeFromParentViewController();
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"late willDisappear", "late didDisappear"}));
  EXPECT_EQ(late->parentViewController(), nullptr);
}

TEST_F(ViewControllerTest, AChildAddedWhileItsParentSlidesInAppearsWhenTheSlideEnds) {
  auto a = make("A");
  showWindow(a);
  auto b = make("B");
  b->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
  a->presentViewController(b, true);
  driver().advance(0.1);
  auto child = make("child");
  b->addChildViewController(child);
  b->view()->addSubview(child->view());
  child->didMoveToParentViewController(b.get());
  log_.take();
  driver().advance(0.5);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"A didDisappear", "B didAppear", "child willAppear", "child didAppear"}));
  EXPECT_EQ(child->appearance(), ViewController::Appearance::Appeared);
  b->dismissViewController(false);
  driver().pump();
  EXPECT_EQ(child->appearance(), ViewController::Appearance::Disappeared);
}

TEST_F(ViewControllerTest, NavigationPushAndPopFollowThePlatformsOrder) {
  auto root = make("root");
  auto nav = NavigationController::withRoot(root);
  showWindow(nav);
  log_.take();
  auto next = make("next");
  nav->pushViewController(next, true);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"next loadView", "next viewDidLoad", "root willDisappear",
                                                    "next willAppear", "root didDisappear", "next didAppear"}));
  EXPECT_EQ(next->navigationController(), nav);
  EXPECT_EQ(nav->visibleViewController(), next);
  nav->popToRootViewController(true);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"next willDisappear", "root willAppear", "next didDisappear",
                                                    "root didAppear"}));
  EXPECT_EQ(nav->topViewController(), root);
  EXPECT_EQ(next->parentViewController(), nullptr);
}

TEST_F(ViewControllerTest, StoryboardsMakeScenesByNameAndRunTheirSegues) {
  auto board = Storyboard::registerStoryboard("Timeline");
  board->registerScene("timelineScreen", [this] { return make("timeline"); });
  board->registerScene("timelinePreview", [this] { return make("preview"); });
  board->registerSegue("timelineScreen", "showPreview", "timelinePreview");
  auto screen = Storyboard::named("Timeline")->instantiate("timelineScreen");
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->storyboard(), board);
  EXPECT_EQ(screen->sceneIdentifier(), "timelineScreen");
  EXPECT_NE(Storyboard::named("Timeline")->instantiate("timelineScreen"), screen);  // a new one each time
  EXPECT_EQ(board->instantiate("missing"), nullptr);
  EXPECT_EQ(Storyboard::named("Player"), nullptr);
  showWindow(screen);
  screen->performSegue("showPreview", nullptr);
  driver().advance(1);
  ASSERT_NE(screen->presentedViewController(), nullptr);
  EXPECT_EQ(screen->presentedViewController()->sceneIdentifier(), "timelinePreview");
  screen->performSegue("nowhere", nullptr);  // logged, nothing happens
}

TEST_F(ViewControllerTest, NibsBuildViewsForTheirOwner) {
  Nib::registerNib("Card", [](const std::shared_ptr<void>& owner) {
    auto card = std::make_shared<View>(Rect(0, 0, 200, 100));
    card->setAccessibilityIdentifier(owner ? "owned" : "alone");
    return std::vector<std::shared_ptr<View>>{card};
  });
  auto screen = std::make_shared<ViewController>("Card");
  EXPECT_EQ(screen->view()->accessibilityIdentifier(), "owned");
  EXPECT_EQ(Nib::load("Card").front()->accessibilityIdentifier(), "alone");
  EXPECT_TRUE(Nib::load("Nope").empty());
}

TEST_F(ViewControllerTest, AnAlertRunsTheTappedActionAfterItIsGone) {
  auto a = make("A");
  showWindow(a);
  auto alert = AlertController::make(std::nullopt, std::nullopt, AlertController::Style::ActionSheet);
  std::vector<std::string> handled;
  bool alertWasUp = false;
  alert->addAction(AlertAction::make("Cancel", AlertAction::Style::Cancel));
  alert->addAction(AlertAction::make("Share", AlertAction::Style::Default, [&](AlertAction& action) {
    handled.push_back(action.title());
    alertWasUp = a->presentedViewController() != nullptr;
  }));
  alert->addAction(AlertAction::make("Delete", AlertAction::Style::Destructive));
  std::vector<std::string> order;
  for (auto& action : alert->actions()) order.push_back(action->title());
  EXPECT_EQ(order, (std::vector<std::string>{"Share", "Delete", "Cancel"}));  // cancel at the bottom
  log_.take();
  a->presentViewController(alert, true);
  driver().advance(1);
  EXPECT_TRUE(log_.calls.empty());  // the screen under an alert stays
  auto share = alert->buttonForAction(*alert->actions().front());
  ASSERT_NE(share, nullptr);
  driver().tap(*share);
  EXPECT_TRUE(handled.empty());
  driver().advance(1);
  EXPECT_EQ(handled, (std::vector<std::string>{"Share"}));
  EXPECT_FALSE(alertWasUp);
  EXPECT_FALSE(alert->tapAction("Share"));  // an alert answers once
}

TEST_F(ViewControllerTest, AnAlertTakesAnAttributedTitleByKey) {
  auto alert = AlertController::make("", "", AlertController::Style::Alert);
  AttributedString title("\n\nLoading", Font::system(12), Color::black());
  EXPECT_TRUE(alert->setValueForKey("attributedTitle", title));
  EXPECT_FALSE(alert->setValueForKey("attributedTitle", std::string("plain")));
  EXPECT_FALSE(alert->setValueForKey("colour", title));
  EXPECT_EQ(alert->attributedTitle()->string, "\n\nLoading");
}

TEST_F(ViewControllerTest, TurningThePhoneRotatesScreensThatAllowIt) {
  auto a = make("A");
  showWindow(a);
  log_.take();
  driver().rotate(DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(Application::shared().statusBarOrientation(), InterfaceOrientation::LandscapeRight);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"A willTransitionTo 812x375"}));
  EXPECT_EQ(a->view()->frame(), Rect(0, 0, 812, 375));
  a->orientations = kOrientationMaskPortrait;
  driver().rotate(DeviceOrientation::LandscapeRight);
  EXPECT_EQ(Application::shared().statusBarOrientation(), InterfaceOrientation::LandscapeRight);
  EXPECT_TRUE(log_.calls.empty());
  driver().rotate(DeviceOrientation::Portrait);
  EXPECT_EQ(Application::shared().statusBarOrientation(), InterfaceOrientation::Portrait);
  EXPECT_EQ(a->view()->frame(), Rect(0, 0, 375, 812));
}

// Logs only its trait changes: "<name> traits from <before> to <now>" (force-touch capability).
class TraitLoggedScreen : public ViewController {
 public:
  TraitLoggedScreen(std::string name, CallLog& log) : name_(std::move(name)), log_(log) {}
  void traitCollectionDidChange(const TraitCollection* previous) override {
    const auto before = previous ? std::to_string(static_cast<int>(previous->forceTouchCapability)) : "none";
    log_.add(name_ + " traits from " + before + " to " +
             std::to_string(static_cast<int>(traitCollection().forceTouchCapability)));
  }

 private:
  std::string name_;
  CallLog& log_;
};

TEST_F(ViewControllerTest, ForceTouchComingAndGoingReachesEveryScreenOnDisplayOnce) {
  auto make = [this](const std::string& name) { return std::make_shared<TraitLoggedScreen>(name, log_); };
  auto root = make("A");
  auto child = make("child");
  root->addChildViewController(child);
  root->view()->addSubview(child->view());
  showWindow(root);
  auto presented = make("B");
  presented->setModalPresentationStyle(ModalPresentationStyle::OverFullScreen);
  root->presentViewController(presented, false);
  driver().pump();
  auto notShown = make("C");
  notShown->loadViewIfNeeded();
  // Each screen on display heard of its first traits as it appeared; the one never shown did not.
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"A traits from none to 1", "child traits from none to 1",
                                                    "B traits from none to 1"}));

  Device::current().setForceTouchAvailable(true);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"A traits from 1 to 2", "child traits from 1 to 2", "B traits from 1 to 2"}));
  Device::current().setForceTouchAvailable(true);
  EXPECT_TRUE(log_.take().empty()) << "no change, no call";
  Device::current().setForceTouchAvailable(false);
  EXPECT_EQ(log_.take(), (std::vector<std::string>{"A traits from 2 to 1", "child traits from 2 to 1", "B traits from 2 to 1"}));
}

}  // namespace
}  // namespace dk::platform::testing
