/* The program's version and the names in its version record, defined once.
   The resource script and the application object both read this file, so it
   holds plain #defines only: the resource compiler understands nothing more. */
#ifndef TARNWICK_APP_VERSION_H
#define TARNWICK_APP_VERSION_H

#define TARNWICK_VERSION_MAJOR 1
#define TARNWICK_VERSION_MINOR 0
#define TARNWICK_VERSION_REVISION 13

/* The record's text form pads the minor number to two digits and the revision
   to four; the application object checks at compile time that it agrees with
   the numbers above. */
#define TARNWICK_VERSION_TEXT "1.00.0013"

#include "platform/titles.h"
#define TARNWICK_PRODUCT_NAME TARNWICK_APPLICATION_TITLE
#define TARNWICK_INTERNAL_NAME "Pelko_Files"
#define TARNWICK_ORIGINAL_FILENAME "Pelko_Files.exe"

#endif
