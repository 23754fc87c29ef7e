# nlohmann/json, header only, as the target tarnwick_json.
#
# A native build uses the installed package. The cross build takes the
# headers Debian installs (nlohmann-json3-dev) from the build machine: they
# are copied into a folder of their own, so that the Windows compiler sees
# that one library and none of the machine's other headers.
add_library(tarnwick_json INTERFACE)

if(NOT CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json 3 CONFIG QUIET)
  if(nlohmann_json_FOUND)
    target_link_libraries(tarnwick_json INTERFACE nlohmann_json::nlohmann_json)
    return()
  endif()
endif()

find_path(TARNWICK_NLOHMANN_ROOT nlohmann/json.hpp
  PATHS /usr/include /usr/local/include
  NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT TARNWICK_NLOHMANN_ROOT)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev "
                      "(scripts/setup-machine does)")
endif()
set(json_include ${CMAKE_BINARY_DIR}/nlohmann-json/include)
file(COPY ${TARNWICK_NLOHMANN_ROOT}/nlohmann DESTINATION ${json_include})
target_include_directories(tarnwick_json SYSTEM INTERFACE ${json_include})
target_compile_definitions(tarnwick_json INTERFACE JSON_USE_IMPLICIT_CONVERSIONS=0)
