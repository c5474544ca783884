// Pop-up cards shown by a base screen: their heights, where they end up for each option set, the
// buttons (plain, animated, cool grey), rotation, the keyboard, the don't-show-again row and
// tappable words in the info text.
#include "ui/kl_pop_up_view.h"

#include <gtest/gtest.h>

#include <cmath>

#include "foundation/color_codes.h"
#include "platform/ui/text_field.h"
#include "platform/ui/ui_notifications.h"
#include "ui/screen_test_support.h"
#include "ui/fonts.h"
#include "ui/label_hit_test.h"

namespace dk {
namespace {

using platform::Point;
using test::DeletingScreen;
using test::LoggingScreen;

class PopUp : public test::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    screen_ = show(std::make_shared<LoggingScreen>());
  }
  // Shows a card on the screen and lets it slide in.
  std::shared_ptr<KLPopUpView> display(unsigned long options, std::vector<std::string> buttons,
                                       std::optional<std::string> info = "The recording will be deleted.") {
    screen_->displayPopUpViewWithTitle("Delete event", std::move(info), std::nullopt, options, std::move(buttons));
    driver().advance(0.5);
    return shownCard();
  }
  static double lineHeight(const std::string& text, const platform::Font& font, double width = 0) {
    platform::Label probe(platform::Rect(0, 0, width, 0));
    probe.setNumberOfLines(0);
    probe.setFont(font);
    probe.setText(text);
    probe.sizeToFit();
    return probe.frame().height();
  }
  Point windowCenter() const { return window_->center(); }

  std::shared_ptr<LoggingScreen> screen_;
};

TEST_F(PopUp, HeightsFollowTheStackOfElements) {
  const double title = lineHeight("Delete event", S_RegularTextFont());
  auto card = display(KLPopUpOptionNoSwipeDismiss, {}, std::nullopt);
  ASSERT_TRUE(card);
  EXPECT_FLOAT_EQ(card->height(), 2 * title + 15);
  EXPECT_FLOAT_EQ(card->frame().height(), card->height() + 60) << "no buttons: 30 more at the bottom";
  screen_->hidePopUpView();
  driver().advance(0.5);

  card = display(KLPopUpOptionNoSwipeDismiss, {"Delete", "Cancel"});
  ASSERT_TRUE(card);
  const double info = lineHeight("The recording will be deleted.", XS_RegularTextFont(), 375 - 48);
  const double pill = card->buttons()[0]->intrinsicContentSize().height;
  EXPECT_EQ(pill, 44);
  EXPECT_NEAR(card->height(), 2 * title + 15 + info + 30 + pill + 30, 1e-3);
  EXPECT_NEAR(card->frame().height(), card->height() + 30, 1e-3);

  card->layoutIfNeeded();
  const auto titleFrame = card->titleLabel()->frame();
  EXPECT_EQ(titleFrame.minY(), 30);
  EXPECT_EQ(titleFrame.minX(), 24) << "labels keep 24 points from either edge";
  EXPECT_EQ(titleFrame.width(), 375 - 48);
  EXPECT_NEAR(card->infoLabel()->frame().minY(), 30 + 2 * title + 15, 1e-3);
}

TEST_F(PopUp, TwoButtonsShareOneRowWithEqualMargins) {
  auto card = display(KLPopUpOptionNoSwipeDismiss, {"Delete", "Cancel"});
  ASSERT_TRUE(card);
  card->layoutIfNeeded();
  const auto first = card->buttons()[0]->frame(), second = card->buttons()[1]->frame();
  const double w = card->buttons()[1]->intrinsicContentSize().width;
  const double m = std::min((375 - 2 * w - 30) * 0.5, 60.0);
  EXPECT_EQ(first.minY(), second.minY());
  EXPECT_NEAR(first.minX(), m, 1e-3);
  EXPECT_NEAR(second.maxX(), 375 - m, 1e-3);
  EXPECT_GT(second.minX(), first.maxX());
  EXPECT_EQ(card->buttons()[0]->accessibilityIdentifier(), "pop_up_view_button_0");
  EXPECT_EQ(card->buttons()[1]->accessibilityIdentifier(), "pop_up_view_button_1");
  EXPECT_EQ(card->titleLabel()->accessibilityIdentifier(), "pop_up_view_title_label");
  EXPECT_EQ(card->infoLabel()->accessibilityIdentifier(), "pop_up_view_info_label");
}

TEST_F(PopUp, TwoButtonsOnANarrowCardKeepTheMarginThatFits) {
  auto card = display(KLPopUpOptionNoSwipeDismiss | KLPopUpOptionNarrow, {"Delete", "Cancel"});
  ASSERT_TRUE(card);
  card->layoutIfNeeded();
  const double w = card->buttons()[1]->intrinsicContentSize().width;
  // 325 points wide: the room left beside two pills is below the 60-point cap.
  const double m = (325 - 2 * w - 30) * 0.5;
  ASSERT_LT(m, 60);
  ASSERT_GT(m, 0);
  EXPECT_NEAR(card->buttons()[0]->frame().minX(), m, 1e-3);
  EXPECT_LE(card->buttons()[1]->frame().maxX(), 325 - m + 1e-3);
  EXPECT_GT(card->buttons()[1]->frame().minX(), card->buttons()[0]->frame().maxX());
}

TEST_F(PopUp, OptionsDecideWhereTheCardEnds) {
  const Point screenCenter = screen_->view()->center();
  auto card = display(KLPopUpOptionNoSwipeDismiss | KLPopUpOptionRotatable, {"OK"});
  ASSERT_TRUE(card);
  EXPECT_EQ(card->center(), (Point{screenCenter.x, windowCenter().y}));
  EXPECT_TRUE(card->canBeRotated());
  screen_->hidePopUpView();
  driver().advance(0.5);

  card = display(KLPopUpOptionNoSwipeDismiss | KLPopUpOptionNarrow, {"OK"});
  EXPECT_EQ(card->center(), screenCenter);
  EXPECT_EQ(card->frame().width(), 375 - 50);
  driver().swipe(card->center(), platform::kSwipeDown);
  driver().advance(0.5);
  EXPECT_TRUE(shownCard()) << "option 16 gives no swipe";
  screen_->hidePopUpView();
  driver().advance(0.5);

  card = display(KLPopUpOptionRotatable, {"OK"});
  EXPECT_EQ(card->center(), (Point{screenCenter.x, windowCenter().y}));
  driver().swipe(card->center(), platform::kSwipeDown);
  driver().advance(0.5);
  EXPECT_FALSE(shownCard()) << "a downward swipe hides it";

  card = display(0, {"OK"});
  EXPECT_EQ(card->frame().maxY(), window_->bounds().height()) << "docked at the bottom edge";
  EXPECT_EQ(card->frame().width(), 375);
  EXPECT_NEAR(screen_->shadowView()->alpha(), 0.7, 1e-9);
  driver().tap({20, 100});  // on the dimming view
  driver().advance(0.5);
  EXPECT_FALSE(shownCard());
  EXPECT_EQ(screen_->shadowView(), nullptr);
}

TEST_F(PopUp, CardsComeFromBelowOrWithOption8FromAboveAndLeaveDownwardsInPortrait) {
  struct Start {
    unsigned long options;
    double y;
  };
  const platform::Rect screenFrame(0, 20, 375, 600);
  for (const Start& row : {Start{0, 620}, Start{KLPopUpOptionFromTop, -600},
                           Start{KLPopUpOptionFromTop | KLPopUpOptionNoSwipeDismiss, -600},
                           Start{KLPopUpOptionNoSwipeDismiss | KLPopUpOptionRotatable, 620}}) {
    EXPECT_EQ(KLViewController::popUpStartFrame(row.options, screenFrame, 187.5, 325),
              platform::Rect(25, row.y, 325, 0))
        << row.options;
  }

  // In portrait every card leaves straight down, to the screen view's height plus its own.
  const unsigned long leaving[] = {0, KLPopUpOptionNoSwipeDismiss, KLPopUpOptionRotatable | KLPopUpOptionNoSwipeDismiss,
                                   KLPopUpOptionFromTop};
  for (unsigned long options : leaving) {
    auto card = display(options, {"OK"});
    ASSERT_TRUE(card);
    const Point shown = card->center();
    screen_->hidePopUpView();
    driver().advance(0.5);
    EXPECT_EQ(shownCard(), nullptr);
    EXPECT_EQ(card->center(), (Point{shown.x, screen_->view()->frame().height() + card->frame().height()}))
        << options;
  }
}

TEST_F(PopUp, ShowingWhileACardIsUpOnlyChangesItsRotatability) {
  auto card = display(KLPopUpOptionNoSwipeDismiss, {"OK"});
  screen_->displayPopUpViewWithTitle("Another", std::nullopt, std::nullopt, KLPopUpOptionRotatable, {"OK"});
  driver().advance(0.5);
  EXPECT_EQ(shownCard(), card);
  EXPECT_EQ(card->title(), "Delete event");
  EXPECT_TRUE(card->canBeRotated());
}

TEST_F(PopUp, OnlyTheTopMostScreenShowsCardsUnlessAPassThroughScreenIsOnTop) {
  auto covering = std::make_shared<platform::ViewController>();
  covering->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  screen_->presentViewController(covering, false);
  driver().advance(0.6);
  EXPECT_EQ(display(KLPopUpOptionNoSwipeDismiss, {"OK"}), nullptr);
  screen_->dismissViewController(false);
  driver().advance(0.6);

  class Player : public platform::ViewController, public PopUpPassThroughScreen {};
  auto player = std::make_shared<Player>();
  player->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  screen_->presentViewController(player, false);
  driver().advance(0.6);
  EXPECT_NE(display(KLPopUpOptionNoSwipeDismiss, {"OK"}), nullptr);
}

TEST_F(PopUp, TheDeleteFlowWaitsOnItsSpinner) {
  auto deleting = show(std::make_shared<DeletingScreen>());
  deleting->displayPopUpViewWithTitle("Delete event", "It cannot be undone.", std::nullopt,
                                      KLPopUpOptionNoSwipeDismiss | KLPopUpOptionAnimateFirstButton,
                                      {"Delete", "Cancel"});
  driver().advance(0.5);
  auto card = shownCard();
  ASSERT_TRUE(card);
  auto remove = card->buttons()[0];
  driver().tap(*remove);
  EXPECT_EQ(card->titleForSelectedButton(), "Delete");
  EXPECT_EQ(deleting->count("firstButtonTappedWithCompletion"), 1u);
  ASSERT_TRUE(deleting->pendingCompletion);
  EXPECT_EQ(remove->alpha(), 0);
  EXPECT_FALSE(card->isUserInteractionEnabled());
  EXPECT_FALSE(card->canBeDismissed());
  EXPECT_EQ(card->subviews().size(), 6u) << "title, info, two buttons, the pill and the spinner";

  driver().tap({20, 100});
  deleting->hidePopUpView();
  driver().advance(0.5);
  EXPECT_EQ(shownCard(), card) << "a loading card stays up";

  deleting->pendingCompletion();
  driver().pump();
  EXPECT_EQ(remove->alpha(), 1);
  EXPECT_TRUE(card->isUserInteractionEnabled());
  EXPECT_TRUE(card->canBeDismissed());
  EXPECT_EQ(card->subviews().size(), 4u);
  deleting->hidePopUpView();
  driver().advance(0.5);
  EXPECT_EQ(shownCard(), nullptr);

  // The second button is not animated with option 256.
  deleting->displayPopUpViewWithTitle("Delete event", std::nullopt, std::nullopt,
                                      KLPopUpOptionNoSwipeDismiss | KLPopUpOptionAnimateFirstButton, {"Delete", "Cancel"});
  driver().advance(0.5);
  driver().tap(*shownCard()->buttons()[1]);
  EXPECT_EQ(deleting->count("secondButtonTapped"), 1u);
  driver().advance(0.5);
  EXPECT_EQ(shownCard(), nullptr);
}

TEST_F(PopUp, AnAnimatableButtonWithoutACompletionVariantTakesThePlainPath) {
  // The base screen answers firstButtonTapped only: the card must not stay loading for ever.
  auto card = display(KLPopUpOptionNoSwipeDismiss | KLPopUpOptionAnimateBothButtons, {"Delete", "Cancel"});
  ASSERT_TRUE(card);
  auto first = card->buttons()[0];
  driver().tap(*first);
  EXPECT_EQ(first->alpha(), 1);
  EXPECT_TRUE(card->isUserInteractionEnabled());
  driver().advance(0.5);
  EXPECT_EQ(shownCard(), nullptr) << "firstButtonTapped hid it";
}

TEST_F(PopUp, CoolGreyOptionsChooseTheButtonClasses) {
  auto card = display(KLPopUpOptionNoSwipeDismiss | KLPopUpOptionSecondButtonCoolGrey, {"Save", "Cancel"});
  ASSERT_TRUE(card);
  EXPECT_FALSE(std::dynamic_pointer_cast<KLCoolGreyAccentButton>(card->buttons()[0]));
  EXPECT_TRUE(std::dynamic_pointer_cast<KLCoolGreyAccentButton>(card->buttons()[1]));
  card->disableButtonWithIndex(1);
  EXPECT_FALSE(card->buttons()[1]->isEnabled());
  card->enableButtonWithIndex(1);
  EXPECT_TRUE(card->buttons()[1]->isEnabled());
  card->disableButtonWithIndex(7);  // no such button: nothing happens
}

TEST_F(PopUp, ARotatableCardTurnsWithTheDeviceAndLeavesSideways) {
  auto card = display(KLPopUpOptionNoSwipeDismiss | KLPopUpOptionRotatable, {"OK"});
  ASSERT_TRUE(card);
  auto above = std::make_shared<platform::View>(platform::Rect(0, 0, 10, 10));
  window_->addSubview(above);
  driver().rotate(platform::DeviceOrientation::LandscapeLeft);
  driver().advance(0.5);
  EXPECT_EQ(card->currentOrientation(), platform::InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(card->position(), KLPopUpPositionLandscapeLeft);
  EXPECT_NEAR(std::abs(card->transform().b), 1.0, 1e-6) << "a quarter turn";
  EXPECT_EQ(screen_->count("orientationDidChanged"), 1u);
  EXPECT_EQ(window_->subviews().back(), card) << "brought back above other views";

  driver().rotate(platform::DeviceOrientation::FaceUp);
  driver().advance(0.5);
  EXPECT_EQ(card->currentOrientation(), platform::InterfaceOrientation::LandscapeLeft) << "face up changes nothing";

  const double x = card->center().x;
  screen_->hidePopUpView();
  driver().advance(0.5);
  EXPECT_EQ(shownCard(), nullptr);
  EXPECT_EQ(card->center().x, x * -2) << "out to the left side";

  driver().rotate(platform::DeviceOrientation::Portrait);
  auto still = display(KLPopUpOptionNoSwipeDismiss, {"OK"});
  driver().rotate(platform::DeviceOrientation::LandscapeRight);
  driver().advance(0.5);
  EXPECT_TRUE(still->transform().isIdentity()) << "without option 2 the card does not turn";
}

TEST_F(PopUp, RotationAnglesBetweenOrientations) {
  auto card = KLPopUpView::make("t", std::nullopt, std::nullopt, std::nullopt, false, false, false, false, 0, {});
  using IO = platform::InterfaceOrientation;
  EXPECT_FLOAT_EQ(card->rotationAngleForOrientation(IO::Portrait), 0);
  EXPECT_FLOAT_EQ(card->rotationAngleForOrientation(IO::LandscapeLeft), 1.5707964f);
  EXPECT_FLOAT_EQ(card->rotationAngleForOrientation(IO::LandscapeRight), 4.712389f);
  EXPECT_EQ(card->getInterfaceOrientationForDeviceOrientation(platform::DeviceOrientation::LandscapeRight),
            IO::LandscapeRight);
  EXPECT_EQ(card->position(), KLPopUpPositionLandscapeRight);
  EXPECT_EQ(card->getInterfaceOrientationForDeviceOrientation(platform::DeviceOrientation::FaceDown), IO::Portrait);
  EXPECT_EQ(card->position(), KLPopUpPositionLandscapeRight) << "unchanged";
}

TEST_F(PopUp, RotationAnglesFromLandscapeTurnTheOtherWayRound) {
  auto card = display(KLPopUpOptionNoSwipeDismiss | KLPopUpOptionRotatable, {"OK"});
  ASSERT_TRUE(card);
  using IO = platform::InterfaceOrientation;
  card->adjustViewsForOrientation(IO::LandscapeLeft, nullptr);
  driver().advance(0.5);
  ASSERT_EQ(card->currentOrientation(), IO::LandscapeLeft);
  EXPECT_FLOAT_EQ(card->rotationAngleForOrientation(IO::LandscapeRight), 4.712389f);
  EXPECT_FLOAT_EQ(card->rotationAngleForOrientation(IO::LandscapeLeft), 0);
  EXPECT_FLOAT_EQ(card->rotationAngleForOrientation(IO::Portrait), 0);
  card->adjustViewsForOrientation(IO::LandscapeRight, nullptr);
  driver().advance(0.5);
  ASSERT_EQ(card->currentOrientation(), IO::LandscapeRight);
  EXPECT_NEAR(card->transform().b, -1.0, 1e-6) << "three quarters of a turn";
  EXPECT_FLOAT_EQ(card->rotationAngleForOrientation(IO::LandscapeLeft), 1.5707964f);
  EXPECT_FLOAT_EQ(card->rotationAngleForOrientation(IO::LandscapeRight), 0);
  EXPECT_FLOAT_EQ(card->rotationAngleForOrientation(IO::Portrait), 0);
}

TEST_F(PopUp, ARotatableCardShownInLandscapeLeftComesInFromTheLeft) {
  driver().rotate(platform::DeviceOrientation::LandscapeLeft);
  driver().advance(0.5);
  screen_->displayPopUpViewWithTitle("Delete event", "The recording will be deleted.", std::nullopt,
                                     KLPopUpOptionNoSwipeDismiss | KLPopUpOptionRotatable, {"OK"});
  driver().pump();
  auto card = shownCard();
  ASSERT_TRUE(card);
  EXPECT_EQ(card->position(), KLPopUpPositionLandscapeLeft);
  EXPECT_LT(card->center().x, 0) << "starts off the left edge";
  EXPECT_EQ(card->center().y, windowCenter().y);
  driver().advance(1.0);
  EXPECT_EQ(card->center(), (Point{screen_->view()->center().x, windowCenter().y}));
  EXPECT_NEAR(card->transform().b, 1.0, 1e-6) << "a quarter turn";
}

TEST_F(PopUp, HidingACardThatCannotBeDismissedStillEndsEditing) {
  auto card = display(KLPopUpOptionNotDismissable, {"Save"});
  auto field = std::make_shared<platform::TextField>(platform::Rect(24, 10, 200, 36));
  card->addSubview(field);
  driver().tap(*field);
  driver().advance(0.5);
  ASSERT_TRUE(field->isEditing());
  screen_->hidePopUpView();
  driver().advance(0.5);
  EXPECT_FALSE(field->isEditing());
  EXPECT_FALSE(platform::Application::shared().isKeyboardVisible());
  EXPECT_EQ(shownCard(), card) << "the card itself stays";
}

TEST_F(PopUp, TheKeyboardPushesTheCardUpAndLetsItBackDown) {
  auto card = display(0, {"Save", "Cancel"});
  ASSERT_TRUE(card);
  const Point docked = card->center();
  auto& app = platform::Application::shared();
  app.showKeyboard(291);
  driver().advance(0.5);
  EXPECT_EQ(card->center().y, docked.y - 291);
  EXPECT_TRUE(card->isKeyboardVisible());
  EXPECT_EQ(screen_->keyboardHeight(), 291);

  app.showKeyboard(335);  // a taller keyboard (another layout)
  driver().advance(0.5);
  EXPECT_EQ(card->center().y, docked.y - 335);

  app.hideKeyboard();
  driver().advance(0.5);
  EXPECT_EQ(card->center(), docked);
  EXPECT_FALSE(card->isKeyboardVisible());
  EXPECT_EQ(screen_->keyboardHeight(), 0);

  app.showKeyboard(291, 0.25, false);  // another application's keyboard
  driver().advance(0.5);
  EXPECT_EQ(card->center(), docked);
}

TEST_F(PopUp, HidingACardEndsEditingInIt) {
  auto card = display(0, {"Save", "Cancel"});
  auto field = std::make_shared<platform::TextField>(platform::Rect(24, 10, 200, 36));
  card->addSubview(field);
  driver().tap(*field);
  driver().advance(0.5);
  ASSERT_TRUE(field->isEditing());
  EXPECT_TRUE(card->isKeyboardVisible());
  screen_->hidePopUpView();
  EXPECT_FALSE(field->isEditing());
  EXPECT_FALSE(platform::Application::shared().isKeyboardVisible());
  driver().advance(0.5);
  EXPECT_EQ(shownCard(), nullptr);
}

TEST_F(PopUp, ACardThatCannotBeDismissedStaysThroughEveryHide) {
  auto card = display(KLPopUpOptionNotDismissable, {"OK"});
  ASSERT_TRUE(card);
  int completions = 0;
  screen_->hidePopUpViewWithCompletion([&] { ++completions; });
  driver().tap({20, 100});
  driver().swipe(card->center(), platform::kSwipeDown);
  driver().advance(0.5);
  EXPECT_EQ(shownCard(), card);
  EXPECT_EQ(completions, 0);
  EXPECT_TRUE(platform::Application::shared().openedURLs().empty());
}

TEST_F(PopUp, HidingTheNoInternetCardOpensTheSettings) {
  auto& app = platform::Application::shared();
  screen_->displayPopUpViewWithTitle("No internet connection", std::nullopt, std::nullopt,
                                     KLPopUpOptionNotDismissable | KLPopUpOptionNoSwipeDismiss, {"OK"});
  driver().advance(0.5);
  screen_->hidePopUpView();
  driver().pump();
  EXPECT_EQ(app.openedURLs(), (std::vector<std::string>{"App-prefs:root"})) << "even though it stays up";
  app.registerOpenableURLPrefix("prefs:");
  screen_->hidePopUpView();
  driver().pump();
  EXPECT_EQ(app.openedURLs().back(), "prefs:root");
}

TEST_F(PopUp, TheDontShowAgainRowIsReportedWithTheButtonTap) {
  auto card = display(KLPopUpOptionNoSwipeDismiss | KLPopUpOptionDontShowAgain, {"OK", "Later"});
  ASSERT_TRUE(card);
  auto row = card->dontShowView();
  ASSERT_TRUE(row->superview());
  EXPECT_EQ(card->dontShowAgainLabel()->text(), "Don't show again");
  EXPECT_EQ(row->frame().height(), 48);
  row->layoutIfNeeded();
  const auto box = card->checkBox()->frame(), text = card->dontShowAgainLabel()->frame();
  EXPECT_EQ(box.minX(), 0);
  EXPECT_EQ(box.width(), 24);
  EXPECT_EQ(text.minX(), box.maxX() + 8) << "the text follows the box";
  EXPECT_NEAR(box.midY(), 24, 0.5);
  EXPECT_FALSE(card->isChecked());
  driver().tap(*row);
  EXPECT_TRUE(card->isChecked());
  EXPECT_EQ(card->checkBox()->image()->name(), "box_check");
  driver().tap(*row);
  driver().tap(*row);
  driver().tap(*card->buttons()[1]);
  EXPECT_EQ(screen_->log.back(), "dontShowPopUpAgain");
  EXPECT_EQ(screen_->count("secondButtonTapped"), 1u);
}

TEST_F(PopUp, TappedWordsOfTheInfoTextAreReportedOncePerRegisteredText) {
  const std::string info = "Read the terms of use first";
  auto card = display(KLPopUpOptionNoSwipeDismiss, {"OK"}, info);
  ASSERT_TRUE(card);
  card->attributedInfoTextTappableForTexts({"terms of use", "terms", "first"});
  card->layoutIfNeeded();
  auto label = card->infoLabel();
  const LabelTextDescription description{label->text(), label->textAttributes(), label->bounds().size};
  // A point on the word "terms" along the label's middle line.
  std::optional<Point> onTerms;
  for (double x = 0; x < label->bounds().width() && !onTerms; x += 1) {
    const Point p{x, label->bounds().height() / 2};
    if (isPointInLabelForSubstringInString(description, "terms", info, p)) onTerms = p;
  }
  ASSERT_TRUE(onTerms);
  driver().tap(label->convertPointTo(*onTerms, nullptr));
  driver().advance(0.5);
  EXPECT_EQ(screen_->count("tapped:terms of use"), 1u);
  EXPECT_EQ(screen_->count("tapped:terms"), 1u);
  EXPECT_EQ(screen_->count("tapped:first"), 0u);
}

class LinkWatcher : public KLPopUpViewDelegate {
 public:
  int taps = 0;
  void linkButtonTapped() override { ++taps; }
  bool respondsToSelector(std::string_view s) const override { return s == "linkButtonTapped"; }
};

TEST_F(PopUp, TheDetectionSettingsLinkReplacesTheLinkText) {
  screen_->displayPopUpViewWithTitle("Detections off", std::nullopt, std::nullopt, "Open",
                                     KLPopUpOptionNoSwipeDismiss | KLPopUpOptionDetectionSettingsLink, {"OK"});
  driver().advance(0.5);
  auto card = shownCard();
  ASSERT_TRUE(card && card->linkButton());
  EXPECT_EQ(card->linkButton()->currentTitle(), "Go to detection settings");
  auto watcher = std::make_shared<LinkWatcher>();
  card->setConfirmationDelegate(watcher);
  card->setCanBeDismissed(false);
  driver().tap(*card->linkButton());
  EXPECT_EQ(watcher->taps, 1);
  EXPECT_TRUE(card->canBeDismissed());
}

TEST_F(PopUp, DisplacedElementsKeepTheirPlaceThroughLayout) {
  auto card = display(KLPopUpOptionNoSwipeDismiss, {"OK"});
  card->layoutIfNeeded();
  const double buttonY = card->buttons()[0]->frame().minY();
  const double infoY = card->infoLabel()->frame().minY();
  card->displaceViewsFromIndex(2, 50);  // from the button on
  card->setNeedsLayout();
  card->layoutIfNeeded();
  EXPECT_EQ(card->buttons()[0]->frame().minY(), buttonY + 50);
  EXPECT_EQ(card->infoLabel()->frame().minY(), infoY);
  card->displaceViewsFromIndex(3, 50);  // past the last subview: nothing
  card->layoutIfNeeded();
  EXPECT_EQ(card->buttons()[0]->frame().minY(), buttonY + 50);
}

}  // namespace
}  // namespace dk
