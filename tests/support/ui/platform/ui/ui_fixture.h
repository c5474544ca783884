// Shared set-up for the UI layer's tests: a manual clock, a fresh application and a key window.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/application.h"
#include "platform/ui/ui_test_driver.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"
#include "support/manual_clock.h"

namespace dk::platform::testing {

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override { resetUiForTesting(); }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    resetUiForTesting();
  }

  // A key window showing `root` (a plain controller when none is given).
  std::shared_ptr<Window> showWindow(std::shared_ptr<ViewController> root = nullptr) {
    if (!root) root = std::make_shared<ViewController>();
    window_ = std::make_shared<Window>();
    window_->setRootViewController(root);
    window_->makeKeyAndVisible();
    MainRunLoop::runUntilIdle();
    return window_;
  }
  // Drives the key window, showing a plain one first when the test has none.
  UiTestDriver driver() {
    if (!window_) showWindow();
    return UiTestDriver(window_);
  }

  test::ManualClockScope clock_;
  std::shared_ptr<Window> window_;
};

// Records the callbacks a test cares about, in order.
struct CallLog {
  std::vector<std::string> calls;
  void add(std::string s) { calls.push_back(std::move(s)); }
  std::vector<std::string> take() {
    auto c = std::move(calls);
    calls.clear();
    return c;
  }
  // The calls with consecutive repeats of `name` folded into one.
  std::vector<std::string> folded(const std::string& name) const {
    std::vector<std::string> out;
    for (auto& c : calls) {
      if (!out.empty() && out.back() == c && c == name) continue;
      out.push_back(c);
    }
    return out;
  }
};

}  // namespace dk::platform::testing
