#include "probe/explanation.h"

#include <windows.h>

#include <cstdint>

#include "platform/win32/error_win32.h"
#include "probe/image_file_win32.h"
#include "probe/import_walk.h"
#include "probe/loader_search.h"

namespace tarnwick::win32 {

namespace {

// The errors of a load that could not resolve what the file imports.
bool is_unresolved_import(unsigned long error) {
  return error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND ||
         error == ERROR_INVALID_ORDINAL || error == ERROR_DLL_NOT_FOUND;
}

// The machine of the file the system would take, when it is not this
// process's: another word size, another processor, or no image at all.
void tell_machine(const std::wstring& name, const SystemSearch& search, const ImageHelpers& helpers,
                  LoadDetails& details) {
  const Resolved found = search.find(name);
  if (found.kind != Resolved::Kind::file) return;
  const MappedFile file(found.path);
  if (!file.read()) return;
  const ImageFile image(file, helpers);
  if (!image.image()) details.machine = "unknown";
  else if (image.machine() != kOwnMachine) details.machine = machine_name(image.machine());
}

}  // namespace

void explain_failed_load(const std::wstring& name, unsigned long error, LoadDetails& details) {
  if (!details.error) {
    details.error = static_cast<std::uint32_t>(error);
    details.message = system_message(error);
  }
  try {
    const ImageHelpers helpers;
    if (!helpers.ready()) return;
    const SystemSearch search;
    tell_machine(name, search, helpers, details);
    if (is_unresolved_import(error) && details.machine.empty())
      ImportWalk(search, helpers, details).run(name);
  } catch (...) {
    // Out of memory, or a folder that cannot be read: the details found so
    // far stand, and the load's answer is not touched.
  }
}

}  // namespace tarnwick::win32
