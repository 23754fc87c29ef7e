#pragma once

#include <filesystem>

namespace tarnwick::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents when the owner goes. A library a test left loaded may stay behind.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Creates a folder (and its parents) below this one.
  std::filesystem::path folder(const std::filesystem::path& relative) const;

 private:
  std::filesystem::path path_;
};

}  // namespace tarnwick::testing
