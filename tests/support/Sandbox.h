// A temporary folder of the test's own, removed with everything in it when
// the fixture ends. Paths it hands out end with "/" for folders.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // The folder, ending with "/".
  const std::string& Path() const { return path_; }
  // Path() + relative.
  std::string operator/(const std::string& relative) const { return path_ + relative; }

  // Writes `content` to Path() + relative, creating folders on the way.
  void WriteFile(const std::string& relative, const std::string& content) const;
  // The whole content of a file, or "" when it cannot be read.
  static std::string ReadFile(const std::string& path);
  static bool Exists(const std::string& path);

 private:
  std::string path_;
};

// A test fixture with a sandbox.
class SandboxedTest : public ::testing::Test {
 protected:
  Sandbox sandbox;
};

}  // namespace testsupport
