#include "probe/explanation.h"

#include <windows.h>

#include <cstdint>

#include "platform/win32/error_win32.h"
#include "probe/file_image.h"
#include "probe/import_walk.h"
#include "probe/loader_search.h"

namespace tarnwick::win32 {

namespace {

// The exceptions the delay-load helper raises for a library it cannot load
// and for an entry point that library lacks.
constexpr unsigned long kDelayLoadModuleException = 0xC06D007E;
constexpr unsigned long kDelayLoadEntryException = 0xC06D007F;

// The errors of a load that could not resolve what the file imports; an
// image of this machine refused as no valid image is refused for one of
// its dependencies, and one whose activation context cannot be made lacks
// an assembly its own manifest, or a dependency's, requires.
bool is_unresolved_import(unsigned long error) {
  return error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND ||
         error == ERROR_INVALID_ORDINAL || error == ERROR_DLL_NOT_FOUND ||
         error == ERROR_BAD_EXE_FORMAT || error == ERROR_SXS_CANT_GEN_ACTCTX;
}

// The errors of a library whose initialisation failed, which it may have
// done calling what it imports late: the delayed imports matter too. Wine's
// loader catches an exception raised in an initialisation and fails the
// load with the exception's code turned into an error, which for the
// delay-load exceptions is the error of a code without a message.
bool is_failed_initialisation(unsigned long error) {
  return error == ERROR_DLL_INIT_FAILED || error == kDelayLoadModuleException ||
         error == kDelayLoadEntryException || error == ERROR_MR_MID_NOT_FOUND;
}

// The machine of the file the system would take, when it is not this
// process's: another word size, another processor, or no image at all.
void tell_machine(const std::wstring& name, const SystemSearch& search, LoadDetails& details) {
  const Resolved found = search.find(name);
  if (found.kind == Resolved::Kind::other_machine) {
    details.machine = found.machine;
    return;
  }
  if (found.kind != Resolved::Kind::file) return;
  const FileImage file(found.path, FileImage::kHeaders);
  if (!file.read()) return;
  if (file.image() == nullptr) details.machine = "unknown";
  else if (file.image()->machine() != kOwnMachine)
    details.machine = image::machine_name(file.image()->machine());
}

}  // namespace

void explain_failed_load(const std::wstring& name, unsigned long error, LoadDetails& details) {
  if (!details.error) {
    details.error = static_cast<std::uint32_t>(error);
    details.message = system_message(error);
  }
  try {
    const SystemSearch search;
    tell_machine(name, search, details);
    if (!details.machine.empty()) return;
    if (is_unresolved_import(error))
      ImportWalk(search, details).run(name, ImportWalk::Tables::load_time);
    else if (is_failed_initialisation(error))
      ImportWalk(search, details).run(name, ImportWalk::Tables::with_delayed);
  } catch (...) {
    // Out of memory, or a folder that cannot be read: the details found so
    // far stand, and the load's answer is not touched.
  }
}

}  // namespace tarnwick::win32
