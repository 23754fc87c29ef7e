#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tarnwick::testing {

// A build path as the program sees it: under Wine the Unix root is drive Z:.
std::wstring native_path(std::string_view build_path);
// A file of the fixtures folder; empty when the build made no fixtures.
std::filesystem::path fixture_file(const wchar_t* name);

}  // namespace tarnwick::testing
