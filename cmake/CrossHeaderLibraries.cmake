# A cross build takes the header-only CLI11 from the build machine, but only its own folder goes on
# the include path: the build machine's /usr/include would hide the target's C library.
if(CMAKE_CROSSCOMPILING AND NOT TARGET CLI11::CLI11)
  find_path(LOADSTAR_HOST_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include /usr/local/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(LOADSTAR_HOST_CLI11_INCLUDE)
    set(cli11_folder ${CMAKE_BINARY_DIR}/host-headers)
    file(MAKE_DIRECTORY ${cli11_folder})
    file(CREATE_LINK ${LOADSTAR_HOST_CLI11_INCLUDE}/CLI ${cli11_folder}/CLI SYMBOLIC)
    add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
    set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${cli11_folder})
  endif()
endif()
