#include "probe/loader_search.h"

#include <winternl.h>

#include "common/path_text.h"
#include "common/trim_and_upper.h"
#include "files/search_order.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/kernel32_win32.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/utf16.h"
#include "probe/api_set_map_win32.h"
#include "probe/file_image.h"

namespace tarnwick::win32 {

std::wstring folded(std::wstring text) { return to_wide(to_upper(to_utf8(text))); }

ManifestContext::ManifestContext(const std::wstring& path) {
  ACTCTXW context{};
  context.cbSize = sizeof(context);
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = path.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(2);
  handle_ = CreateActCtxW(&context);
}

ManifestContext::~ManifestContext() {
  if (handle_ != INVALID_HANDLE_VALUE) ReleaseActCtx(handle_);
}

bool ManifestContext::redirects(const std::wstring& name) const {
  ULONG_PTR cookie = 0;
  const bool active = handle_ != INVALID_HANDLE_VALUE && ActivateActCtx(handle_, &cookie);
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof(data);
  const bool found = FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                              name.c_str(), &data) != FALSE;
  if (active) DeactivateActCtx(0, cookie);
  return found;
}

SystemSearch::SystemSearch() {
  Win32Kernel32 kernel32;
  SearchFolders places;
  places.program = to_utf8(std::wstring(folder_part(own_file_name())));
  places.system = to_utf8(system_folder());
  places.windows = to_utf8(windows_folder());
  places.current = kernel32.current_directory();
  places.path = split_path_folders(kernel32.environment_variable("PATH"));
  system_folder_ = places.system;
  // A place the system cannot name is no place it looks.
  for (SearchPlace place : kLoaderOrder)
    for (std::string& folder : places.at(place))
      if (!folder.empty()) folders_.push_back(std::move(folder));
  BOOL wow64 = FALSE;
  known_directory_ = IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? L"\\KnownDlls32\\"
                                                                         : L"\\KnownDlls\\";
}

Resolved SystemSearch::find(std::wstring name, const ManifestContext& context) const {
  // A name without an extension means a library: the system adds ".dll".
  const bool has_folder = file_name_part(name).size() != name.size();
  if (file_name_part(name).find(L'.') == std::wstring::npos) name += L".dll";
  if (has_folder)
    return is_file(name) ? Resolved{Resolved::Kind::file, name} : Resolved{};
  if (schema_resolves(to_utf8(name))) return {Resolved::Kind::supplied, {}};
  if (context.redirects(name)) return {Resolved::Kind::supplied, {}};
  // The rest does not depend on who imports the name: each name is searched
  // for once.
  const std::wstring key = folded(name);
  const auto searched = searched_.find(key);
  if (searched != searched_.end()) return searched->second;
  return searched_[key] = search(name);
}

Resolved SystemSearch::search(const std::wstring& name) const {
  if (HMODULE loaded = GetModuleHandleW(name.c_str()))
    return {Resolved::Kind::supplied, module_file_name(loaded)};
  const std::string narrow = to_utf8(name);
  if (known(name))
    return {Resolved::Kind::supplied, to_wide(candidate_path(system_folder_, narrow)), {}};
  Resolved passed_by;
  for (const std::string& folder : folders_) {
    std::wstring candidate = to_wide(candidate_path(folder, narrow));
    if (!is_file(candidate)) continue;
    // What is no image at all, the system takes and fails on.
    const FileImage headers(candidate, FileImage::kHeaders);
    const image::Image* image = headers.image();
    if (image == nullptr || image->machine() == kOwnMachine)
      return {Resolved::Kind::file, std::move(candidate), {}};
    if (passed_by.kind == Resolved::Kind::missing)
      passed_by = {Resolved::Kind::other_machine, candidate, image::machine_name(image->machine())};
  }
  return passed_by;
}

bool SystemSearch::known(const std::wstring& name) const {
  auto* open_section = system_calls::NtOpenSection.find();
  if (open_section == nullptr) return false;
  std::wstring object = known_directory_ + name;
  if (object.size() > image::kLongestName) return false;
  UNICODE_STRING text{};
  text.Buffer = object.data();
  text.Length = static_cast<USHORT>(object.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof(attributes);
  attributes.ObjectName = &text;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  HANDLE section = nullptr;
  if (open_section(&section, SECTION_QUERY, &attributes) < 0) return false;
  CloseHandle(section);
  return true;
}

}  // namespace tarnwick::win32
