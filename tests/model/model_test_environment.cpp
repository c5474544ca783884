// Every model test runs with a temporary application home (user defaults and documents written by
// the models never touch the real ones) and an English (US) locale, whatever the machine's.
#include <gtest/gtest.h>

#include <memory>

#include "platform/foundation/locale.h"
#include "support/temp_directory.h"

namespace {

class TemporaryHomeEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    home_ = std::make_unique<dk::test::TemporaryHome>();
    dk::platform::Locale::setCurrent("en_US");
  }
  void TearDown() override {
    dk::platform::Locale::setCurrent(std::nullopt);
    home_.reset();
  }

 private:
  std::unique_ptr<dk::test::TemporaryHome> home_;
};

[[maybe_unused]] testing::Environment* const kHome = testing::AddGlobalTestEnvironment(new TemporaryHomeEnvironment);

}  // namespace
