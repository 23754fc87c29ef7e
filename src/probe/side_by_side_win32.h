#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::win32 {

// The assemblies that `manifest` (the manifest a library carries, as its
// resource holds it) requires and that the system cannot provide to the
// library at `library_path`, each named as image::assembly_label names it.
// Each is asked of the system on its own: an activation context made from a
// manifest requiring that assembly alone, probed from the library's folder
// as the library's own would be.
std::vector<std::string> assemblies_not_provided(const std::wstring& library_path,
                                                 std::string_view manifest);

}  // namespace tarnwick::win32
