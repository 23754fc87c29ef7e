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
  std::vector<std::string> modules =
      list_process_modules(platform_.kernel32, platform_.psapi);
  if (modules.empty()) return;

  // The heading and every entry go into the box in one write.
  std::string section = module_section_heading(exe_name);
  for (const std::string& module : modules) {
    List_DLL.add_item(module);
    section += "\r" + module;
  }
  RichText_file_path.append(section);
  facts_.modules = std::move(modules);
}

}  // namespace tarnwick
