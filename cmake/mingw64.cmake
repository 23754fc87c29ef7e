# The same sources as a 64-bit Windows program. It is not shipped: it lets the
# Wine tests run on machines whose kernel cannot run 32-bit code (there the
# 32-bit Wine loader fails with "Exec format error").
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARNWICK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
