#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>
#include <vector>

namespace tarnwick::win32 {

// Names and paths compared as the file system compares them.
std::wstring folded(std::wstring text);

// A library's own manifest (resource 2), which decides where the system
// takes the side-by-side libraries it imports from; without one, the
// process's own decides.
class ManifestContext {
 public:
  ManifestContext() = default;
  explicit ManifestContext(const std::wstring& path);
  ~ManifestContext();
  ManifestContext(const ManifestContext&) = delete;
  ManifestContext& operator=(const ManifestContext&) = delete;

  // Whether `name` comes from an assembly: the library's own manifest's, or
  // failing that the process's (the system's common controls, say).
  bool redirects(const std::wstring& name) const;

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Where the system takes a library from when a load names it.
struct Resolved {
  enum class Kind {
    missing,   // nowhere the system looks
    supplied,  // the system's own: an API set, an assembly, a known library, one loaded already
    file,      // found by the search; its own imports are looked at in turn
    // found only as images for other machines, which the search passes by
    other_machine,
  };
  Kind kind = Kind::missing;
  std::wstring path;    // the file, where there is one to read
  std::string machine;  // of the first image passed by, for other_machine
};

// The system's search for a library named without a folder, as a load by
// name makes it in this process: side-by-side assemblies, the API set
// contracts this process's schema resolves (one it does not define is
// searched for as a file, as the loader does),
// libraries loaded already, the known libraries, then the folders in the
// standard order with safe search on: the program's folder, the system
// folder, the 16-bit system folder, the Windows folder, the current folder,
// PATH's folders. An image for another machine does not stop the search:
// the system passes it by and looks on.
class SystemSearch {
 public:
  SystemSearch();

  // `context`: the manifest of the library that imports `name`.
  Resolved find(std::wstring name, const ManifestContext& context = ManifestContext()) const;

 private:
  Resolved search(const std::wstring& name) const;
  // A known library is one whose section the system keeps under its name.
  bool known(const std::wstring& name) const;

  std::vector<std::string> folders_;  // in the loader's order, as the search model names them
  std::string system_folder_;
  std::wstring known_directory_;
  mutable std::unordered_map<std::wstring, Resolved> searched_;
};

}  // namespace tarnwick::win32
