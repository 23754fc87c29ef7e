/* The two titles the user reads, defined once for the program, the capture
   tool and the tests. Plain #defines: the resource compiler and the build's
   manifest step read this file too. */
#ifndef TARNWICK_PLATFORM_TITLES_H
#define TARNWICK_PLATFORM_TITLES_H

/* The report window's caption. */
#define TARNWICK_WINDOW_TITLE "Tarnwick System Files"
/* The caption of every message box, and the product name in the version
   record. */
#define TARNWICK_APPLICATION_TITLE "Tarnwick_Files"

#endif
