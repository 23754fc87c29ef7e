#include "processes/process_modules.h"
#include "report/whatsnew.h"

#include <utility>
#include <vector>

namespace tarnwick {

void Whatsnew::append_module_section() {
  const std::string exe_name = platform_.app.exe_name();
  const bool empty = list_process_modules(platform_.kernel32, platform_.psapi,
                                          platform_.window_system,
                                          exe_name + ".exe", List_DLL);
  if (empty) return;

  // The heading and every entry go into the box in one write.
  std::string section = module_section_heading(exe_name);
  std::vector<std::string> modules;
  const std::int16_t count = List_DLL.count();
  for (std::int16_t i = 0; i < count; ++i) {
    modules.push_back(List_DLL.item(i));
    section += "\r" + modules.back();
  }
  RichText_file_path.append(section);
  facts_.modules = std::move(modules);
}

}  // namespace tarnwick
