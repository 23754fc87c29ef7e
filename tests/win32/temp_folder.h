#pragma once

#include <string>

namespace tarnwick::testing {

// A fresh folder under the system's temporary folder, removed with everything
// in it when the owner goes. Paths are UTF-16, as the tests lay files out with
// names the ANSI code page cannot hold.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& path() const { return path_; }
  // Creates a subfolder (and its parents) and returns its full path.
  std::wstring folder(const std::wstring& relative) const;
  // Copies a fixture from the fixtures folder to `relative`; returns the path.
  std::wstring copy_fixture(const std::wstring& fixture, const std::wstring& relative) const;

 private:
  std::wstring path_;
};

std::wstring fixture_path(const std::wstring& name);
std::string utf8(const std::wstring& wide);

}  // namespace tarnwick::testing
