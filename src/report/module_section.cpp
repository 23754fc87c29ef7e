#include "processes/process_modules.h"
#include "report/whatsnew.h"

#include <utility>
#include <vector>

namespace tarnwick {

void Whatsnew::append_module_section() {
  List_DLL.clear();
  const std::string exe_name = platform_.app.exe_name();
  // The load has kept the thread from its messages for as long as the file
  // lines took; the window's thread answers once before the listing.
  platform_.window_system.pump_pending_messages();
  for (const std::string& module : list_process_modules(platform_.kernel32, platform_.psapi))
    List_DLL.add_item(module);
  const int count = List_DLL.count();
  if (count == 0) return;

  // The list carries the paths into the report: the section is what it
  // holds, heading and every entry in one write.
  std::string section = module_section_heading(exe_name);
  std::vector<std::string> modules;
  modules.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    modules.push_back(List_DLL.item(i));
    section += "\r" + modules.back();
  }
  RichText_file_path.append(section);
  facts_.modules = std::move(modules);
}

}  // namespace tarnwick
