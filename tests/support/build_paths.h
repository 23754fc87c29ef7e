#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::testing {

// A build path as the program sees it: under Wine the Unix root is drive Z:.
std::wstring native_path(std::string_view build_path);
// A file of the fixtures folder; empty when the build made no fixtures.
std::filesystem::path fixture_file(const wchar_t* name);

// Lays out in `folder` a component library whose first call loads `count`
// extra libraries beside it, so the process that calls it has that many more
// modules. Returns the extra libraries' paths, in load order; empty (and
// nothing laid out) when the build made no fixtures.
std::vector<std::filesystem::path> lay_out_many_modules(const std::filesystem::path& folder,
                                                        int count);

}  // namespace tarnwick::testing
