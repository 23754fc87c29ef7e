#include "probe/loader_search.h"

#include <winternl.h>

#include "platform/win32/file_system_win32.h"
#include "platform/win32/kernel32_win32.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/utf16.h"
#include "probe/api_set_map_win32.h"
#include "probe/file_image.h"

namespace tarnwick::win32 {

namespace {

std::wstring folder_of(const std::wstring& path) {
  const std::size_t end = path.find_last_of(L"\\/");
  return end == std::wstring::npos ? std::wstring() : path.substr(0, end);
}

}  // namespace

std::wstring folded(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

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
  folders_.push_back(folder_of(own_file_name()));
  const std::wstring system = system_folder();
  const std::wstring windows = windows_folder();
  system_folder_ = system;
  folders_.push_back(system);
  folders_.push_back(windows.empty() ? windows : windows + L"\\System");
  folders_.push_back(windows);
  folders_.push_back(to_wide(kernel32.current_directory()));
  const std::wstring path = to_wide(kernel32.environment_variable("PATH"));
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find(L';', start);
    if (end == std::wstring::npos) end = path.size();
    if (end > start) folders_.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  BOOL wow64 = FALSE;
  known_directory_ = IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? L"\\KnownDlls32\\"
                                                                         : L"\\KnownDlls\\";
}

Resolved SystemSearch::find(std::wstring name, const ManifestContext& context) const {
  // A name without an extension means a library: the system adds ".dll".
  const std::size_t base = name.find_last_of(L"\\/");
  const std::wstring file_part = base == std::wstring::npos ? name : name.substr(base + 1);
  if (file_part.find(L'.') == std::wstring::npos) name += L".dll";
  if (base != std::wstring::npos)
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
  if (known(name)) return {Resolved::Kind::supplied, system_folder_ + L"\\" + name};
  Resolved passed_by;
  for (const std::wstring& folder : folders_) {
    if (folder.empty()) continue;
    std::wstring candidate = folder;
    if (candidate.back() != L'\\' && candidate.back() != L'/') candidate += L'\\';
    candidate += name;
    if (!is_file(candidate)) continue;
    // What is no image at all, the system takes and fails on.
    const FileImage headers(candidate, FileImage::kHeaders);
    const image::Image* image = headers.image();
    if (image == nullptr || image->machine() == kOwnMachine)
      return {Resolved::Kind::file, candidate, {}};
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
