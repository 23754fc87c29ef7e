#include "report/system_files.h"

namespace tarnwick {

// The suite's core libraries lead in a fixed order; the rest follow in
// alphabetical order, letter case ignored, with the suite's further
// libraries mixed among the imaging, compressed-raster and language-runtime
// libraries the suite installs. Names are shown exactly as written here.
const std::array<std::string_view, 37> kSystemFileTable = {
    // Core suite libraries.
    "KTR_Intel_Win32.dll",
    "KTR_Imaging32.DLL",
    "PelkoCore32.dll",
    "PELKOVIEW.DLL",
    "pelko_forms32.dll",
    // Everything else, alphabetical.
    "atl.dll",
    "comdlg32.dll",
    "gdiplus.dll",
    "jpeg62.dll",
    "KTR_Barcode32.dll",
    "KTR_Pdf32.DLL",
    "KTR_Scan32.dll",
    "libpng16.dll",
    "libtiff.dll",
    "lz32.dll",
    "MFC42.DLL",
    "msftedit.dll",
    "msimg32.dll",
    "MSVBVM60.DLL",
    "msvcp60.dll",
    "MSVCR71.dll",
    "msvcrt.dll",
    "msxml3.dll",
    "OLEAUT32.DLL",
    "olepro32.dll",
    "PelkoOcr32.dll",
    "PelkoPrint32.DLL",
    "pelkotwain.dll",
    "riched20.dll",
    "scrrun.dll",
    "TWAIN_32.DLL",
    "ucrtbase.dll",
    "usp10.dll",
    "vcruntime140.dll",
    "windowscodecs.dll",
    "WINDOWSCODECSEXT.dll",
    "zlib1.dll",
};

}  // namespace tarnwick
