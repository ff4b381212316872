# A cross build takes the header-only libraries from the build machine, but only each one's own
# folder goes on the include path: the build machine's /usr/include would hide the target's C
# library.
function(loadstar_host_header_library target header folder)
  if(NOT CMAKE_CROSSCOMPILING OR TARGET ${target})
    return()
  endif()
  find_path(host_include_${folder} ${header} PATHS /usr/include /usr/local/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(host_include_${folder})
    set(headers ${CMAKE_BINARY_DIR}/host-headers)
    file(MAKE_DIRECTORY ${headers})
    file(CREATE_LINK ${host_include_${folder}}/${folder} ${headers}/${folder} SYMBOLIC)
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${headers})
  endif()
endfunction()

loadstar_host_header_library(CLI11::CLI11 CLI/CLI.hpp CLI)
# loadstar-cli --json
loadstar_host_header_library(nlohmann_json::nlohmann_json nlohmann/json.hpp nlohmann)
