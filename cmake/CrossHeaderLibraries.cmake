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
# The header-only nlohmann JSON library (loadstar-cli --json) the same way.
if(CMAKE_CROSSCOMPILING AND NOT TARGET nlohmann_json::nlohmann_json)
  find_path(LOADSTAR_HOST_NLOHMANN_INCLUDE nlohmann/json.hpp PATHS /usr/include /usr/local/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(LOADSTAR_HOST_NLOHMANN_INCLUDE)
    set(json_folder ${CMAKE_BINARY_DIR}/host-headers)
    file(MAKE_DIRECTORY ${json_folder})
    file(CREATE_LINK ${LOADSTAR_HOST_NLOHMANN_INCLUDE}/nlohmann ${json_folder}/nlohmann SYMBOLIC)
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES
                                                                  ${json_folder})
  endif()
endif()
