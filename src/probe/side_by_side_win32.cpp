#include "probe/side_by_side_win32.h"

#include <windows.h>

#include <cstdint>
#include <optional>

#include "image/manifest_dependencies.h"
#include "platform/win32/handles.h"

namespace tarnwick::win32 {

namespace {

// A file of our own for one question, gone with its owner.
class TemporaryFile {
 public:
  TemporaryFile() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"tsf", 0, path) == 0) return;
    path_ = path;
  }
  ~TemporaryFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::wstring& path() const { return path_; }
  bool write(const std::string& text) const {
    if (path_.empty()) return false;
    const ScopedHandle file(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_TEMPORARY, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
  }

 private:
  std::wstring path_;
};

// Whether the system makes an activation context of the library's own
// manifest (resource 2), as its loader does: then nothing is missing.
bool own_context_made(const std::wstring& library_path) {
  ACTCTXW context{};
  context.cbSize = sizeof(context);
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = library_path.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(2);
  const HANDLE handle = CreateActCtxW(&context);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ReleaseActCtx(handle);
  return true;
}

// Whether the system can make the assembly available from `folder`'s
// point of view; also true where the question cannot be put, so that only
// the system's own refusal names an assembly. (Wine looks for private
// assemblies beside the manifest file instead, so there one beside the
// library counts only through the library's own context above.)
bool provided(const image::AssemblyIdentity& assembly, const std::wstring& folder) {
  const TemporaryFile manifest;
  if (!manifest.write(image::manifest_requiring(assembly))) return true;
  ACTCTXW context{};
  context.cbSize = sizeof(context);
  context.lpSource = manifest.path().c_str();
  if (!folder.empty()) {
    context.dwFlags |= ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
    context.lpAssemblyDirectory = folder.c_str();
  }
  const HANDLE handle = CreateActCtxW(&context);
  if (handle != INVALID_HANDLE_VALUE) {
    ReleaseActCtx(handle);
    return true;
  }
  return GetLastError() != ERROR_SXS_CANT_GEN_ACTCTX;
}

}  // namespace

std::vector<std::string> assemblies_not_provided(const std::wstring& library_path,
                                                 std::string_view manifest) {
  const std::size_t end = library_path.find_last_of(L"\\/");
  const std::wstring folder = end == std::wstring::npos ? std::wstring() : library_path.substr(0, end);
  std::vector<std::string> missing;
  if (own_context_made(library_path)) return missing;
  for (const image::AssemblyIdentity& assembly : image::dependent_assemblies(manifest))
    if (!provided(assembly, folder)) missing.push_back(image::assembly_label(assembly));
  return missing;
}

std::vector<std::string> assemblies_not_provided(const std::wstring& library_path,
                                                 const image::Image& library) {
  const std::optional<std::vector<std::uint8_t>> manifest = library.manifest();
  if (!manifest) return {};
  return assemblies_not_provided(
      library_path,
      std::string_view(reinterpret_cast<const char*>(manifest->data()), manifest->size()));
}

}  // namespace tarnwick::win32
