// Every test runs with a home folder and a Wine prefix of its own, fresh and
// empty, so that none reads or writes the developer's own: a machine with
// the game installed would otherwise answer the registry lookups, and an
// installation under test could reach the real game.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "tests/test_support.h"

namespace vh::test {
namespace {

std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void restore(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

class IsolatedHome : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo&) override {
    savedHome_ = variable("HOME");
    savedPrefix_ = variable("WINEPREFIX");
    home_ = std::make_unique<TempDir>();
    setenv("HOME", home_->path().c_str(), 1);
    setenv("WINEPREFIX", (*home_ / ".wine").c_str(), 1);
  }

  void OnTestEnd(const testing::TestInfo&) override {
    restore("HOME", savedHome_);
    restore("WINEPREFIX", savedPrefix_);
    home_.reset();
  }

 private:
  std::unique_ptr<TempDir> home_;
  std::optional<std::string> savedHome_;
  std::optional<std::string> savedPrefix_;
};

// Registered before main runs, so both test programs get it whatever their
// main does; gtest owns the listener from here on.
const bool registered = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new IsolatedHome);
  return true;
}();

}  // namespace
}  // namespace vh::test
