#pragma once
// Text needs the GUI application's fonts; the test runner sets the offscreen platform.
// Including this header in one source file of a test binary gives it an application.
#include <gtest/gtest.h>

#include <memory>

#include <QGuiApplication>

namespace lumo {

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "lumo_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QGuiApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QGuiApplication> app_;
};

inline const auto* const kGuiEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace lumo
