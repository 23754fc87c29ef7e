#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "image/pe_image.h"

namespace tarnwick::win32 {

// The assemblies that `manifest` (the manifest a library carries, as its
// resource holds it) requires and that the system cannot provide to the
// library at `library_path`, each named as image::assembly_label names it.
// Each is asked of the system on its own: an activation context made from a
// manifest requiring that assembly alone, probed from the library's folder
// as the library's own would be.
std::vector<std::string> assemblies_not_provided(const std::wstring& library_path,
                                                 std::string_view manifest);
// The same for the manifest `library` (the image of the file at
// `library_path`) carries; nothing where it carries none.
std::vector<std::string> assemblies_not_provided(const std::wstring& library_path,
                                                 const image::Image& library);

}  // namespace tarnwick::win32
