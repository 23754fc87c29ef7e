#include "support/child_processes.h"

#include <tlhelp32.h>

#include "platform/win32/handles.h"

namespace tarnwick::testing {

std::vector<DWORD> child_processes(DWORD parent) {
  std::vector<DWORD> children;
  win32::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry))
    if (entry.th32ParentProcessID == parent && entry.th32ProcessID != parent)
      children.push_back(entry.th32ProcessID);
  return children;
}

}  // namespace tarnwick::testing
