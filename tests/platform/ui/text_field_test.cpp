// Text fields bring the keyboard up when editing starts and send it away when it ends.
#include "platform/ui/text_field.h"

#include <gtest/gtest.h>

#include "platform/foundation/notification_center.h"
#include "platform/ui/ui_notifications.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform {
namespace {

class TextFields : public testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    showWindow();
    root_ = window_->rootViewController()->view();
    first_ = std::make_shared<TextField>(Rect(20, 100, 300, 40));
    second_ = std::make_shared<TextField>(Rect(20, 160, 300, 40));
    root_->addSubview(first_);
    root_->addSubview(second_);
  }
  std::shared_ptr<View> root_;
  std::shared_ptr<TextField> first_, second_;
};

TEST_F(TextFields, ATapStartsEditingAndTheKeyboardComesUp) {
  std::vector<std::string> posted;
  auto token = NotificationCenter::defaultCenter().addObserver(
      kUIKeyboardWillShowNotification, [&](const Notification& n) { posted.push_back(n.name); });
  driver().tap(*first_);
  EXPECT_TRUE(first_->isEditing());
  EXPECT_TRUE(Application::shared().isKeyboardVisible());
  EXPECT_EQ(Application::shared().keyboardHeight(), TextField::kKeyboardHeight);
  EXPECT_EQ(posted.size(), 1u);

  first_->insertText("Garden");
  first_->insertText(" é");
  first_->deleteBackward();
  EXPECT_EQ(first_->text(), "Garden ") << "one character goes, whatever its length in bytes";

  driver().tap(*second_);
  EXPECT_FALSE(first_->isEditing());
  EXPECT_TRUE(second_->isEditing());
  EXPECT_TRUE(Application::shared().isKeyboardVisible()) << "the keyboard stays for the next field";
  EXPECT_EQ(posted.size(), 1u);

  root_->endEditing(true);
  EXPECT_FALSE(second_->isEditing());
  EXPECT_FALSE(Application::shared().isKeyboardVisible());
}

TEST_F(TextFields, TypingNeedsEditingAndADisabledFieldRefusesIt) {
  first_->insertText("x");
  EXPECT_EQ(first_->text(), "");
  first_->setEnabled(false);
  EXPECT_FALSE(first_->becomeFirstResponder());
  EXPECT_FALSE(Application::shared().isKeyboardVisible());
}

}  // namespace
}  // namespace dk::platform
