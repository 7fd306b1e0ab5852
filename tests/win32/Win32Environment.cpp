// Runs a test program with the Win32 back end installed, so that every bitmap the tests make
// is a DIB section in a memory DC.
#include <gtest/gtest.h>

#include <memory>

#include "platform/win32/Win32Backend.h"

namespace halvik {
namespace {

class TWin32Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    backend_ = std::make_unique<win32::TWin32Backend>();
    SetPlatform(backend_.get());
  }
  void TearDown() override {
    SetPlatform(nullptr);
    backend_.reset();
  }

 private:
  std::unique_ptr<win32::TWin32Backend> backend_;
};

// Registered before main runs; the test runner owns and ends it.
[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TWin32Environment);

}  // namespace
}  // namespace halvik
