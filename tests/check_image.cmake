# The shipped program must be a 32-bit image that imports system libraries
# only (a runtime DLL of the compiler would be missing on a user's machine),
# and carries the marks the system honours: a movable base (ASLR), no code
# run from data (DEP), and terminal-server awareness, since support engineers
# often run it over remote desktop, where an unaware program is given a
# compatibility view of the Windows folder and the registry.
# Usage: cmake -DOBJDUMP=<objdump> -DEXE=<file> -DFORMAT=<pei-i386|pei-x86-64>
#        -P check_image.cmake
cmake_minimum_required(VERSION 3.20)

# Only libraries the system always takes from its own folder (its known
# libraries, and the common controls the manifest binds side by side). A
# static import of any other, VERSION.DLL or UXTHEME.DLL say, is resolved by
# name at start, from the program's folder first: a planted copy would run.
set(system_libraries ADVAPI32.DLL COMCTL32.DLL COMDLG32.DLL GDI32.DLL KERNEL32.DLL
    MSVCRT.DLL OLE32.DLL OLEAUT32.DLL SHELL32.DLL USER32.DLL)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read ${EXE}")
endif()
if(NOT dump MATCHES "file format ${FORMAT}\n")
  message(FATAL_ERROR "${EXE} is not a ${FORMAT} Windows image")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
foreach(mark DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE)
  if(NOT dump MATCHES "\n[ \t]+${mark}\n")
    message(FATAL_ERROR "${EXE} lacks the mark ${mark}")
  endif()
endforeach()
if(lines STREQUAL "")
  message(FATAL_ERROR "${EXE} lists no imports at all")
endif()
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: (.+)$" "\\1" name "${line}")
  string(TOUPPER "${name}" name)
  if(NOT name IN_LIST system_libraries)
    message(FATAL_ERROR "${EXE} imports ${name}, which is not a library the system "
                        "always loads from its own folder")
  endif()
  message(STATUS "imports ${name}")
endforeach()
