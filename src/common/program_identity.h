/* The program's identity, defined once: the titles the user reads, the
   version, the names in the version record. The resource script, the build's
   manifest step, the application object, the capture tool and the tests all
   read this file, so its first part is plain #defines: the resource compiler
   and CMake understand nothing more. */
#ifndef TARNWICK_COMMON_PROGRAM_IDENTITY_H
#define TARNWICK_COMMON_PROGRAM_IDENTITY_H

/* The report window's caption. */
#define TARNWICK_WINDOW_TITLE "Tarnwick System Files"
/* The caption of every message box, and the product name in the version
   record. */
#define TARNWICK_APPLICATION_TITLE "Tarnwick_Files"

#define TARNWICK_VERSION_MAJOR 1
#define TARNWICK_VERSION_MINOR 0
#define TARNWICK_VERSION_REVISION 13
/* The version record's text form pads the minor number to two digits and the
   revision to four; the application object checks at compile time that it
   agrees with the numbers above. */
#define TARNWICK_VERSION_TEXT "1.00.0013"

#define TARNWICK_INTERNAL_NAME "Pelko_Files"
#define TARNWICK_ORIGINAL_FILENAME "Pelko_Files.exe"

#if defined(__cplusplus) && !defined(RC_INVOKED)
#include <cstdint>

namespace tarnwick {

constexpr const char* kApplicationTitle = TARNWICK_APPLICATION_TITLE;

struct AppVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t revision = 0;
};

}  // namespace tarnwick
#endif

#endif
