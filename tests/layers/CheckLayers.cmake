# Checks the layers of src/: each folder includes only itself and the folders beneath it, every
# quoted include names its folder ("link/SerialPort.h"), and the Qt-free libraries (link, iap,
# devices, words) include no Qt header. Run with -DSOURCE_DIR=<the project's source folder>.
#
#   version, link                       nothing beneath them
#   devices, iap                        link
#   words                               iap, link
#   emulator                            link, iap, words (the flash file is saved as the tools save
#                                       theirs, and a refused save is worded as theirs are)
#   cli, ui                             link, devices, iap, words
#   app                                 ui, and cli's help text
cmake_minimum_required(VERSION 3.25)
set(allowed_link link)
set(allowed_version version)
set(allowed_devices devices link)
set(allowed_iap iap link)
set(allowed_words words iap link)
set(allowed_emulator emulator link iap version words)
set(allowed_cli cli devices iap link version words)
set(allowed_ui ui devices iap link version words)
set(allowed_app app ui cli devices iap link version words)
set(core link iap devices words)

set(problems "")
file(GLOB folders RELATIVE ${SOURCE_DIR}/src ${SOURCE_DIR}/src/*)
foreach(folder IN LISTS folders)
  if(NOT IS_DIRECTORY ${SOURCE_DIR}/src/${folder})
    continue()
  endif()
  if(NOT DEFINED allowed_${folder})
    string(APPEND problems "src/${folder} is in no layer: add it to tests/layers/CheckLayers.cmake\n")
    continue()
  endif()
  file(GLOB_RECURSE files ${SOURCE_DIR}/src/${folder}/*.h ${SOURCE_DIR}/src/${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]")
    file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
    foreach(line IN LISTS includes)
      if(line MATCHES "#[ \t]*include[ \t]+\"([^\"]*)\"")
        set(target ${CMAKE_MATCH_1})
        if(NOT target MATCHES "^([a-z]+)/[^/]+$")
          string(APPEND problems "${shown}: \"${target}\" does not name its folder\n")
          continue()
        endif()
        set(layer ${CMAKE_MATCH_1})
        if(NOT layer IN_LIST allowed_${folder})
          string(APPEND problems "${shown}: ${folder} may not include ${target}\n")
        endif()
      elseif(folder IN_LIST core AND line MATCHES "#[ \t]*include[ \t]+<(Q[A-Za-z]*)")
        string(APPEND problems "${shown}: a Qt-free library includes Qt (${CMAKE_MATCH_1})\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(problems)
  message(FATAL_ERROR "Includes that cross the layers:\n${problems}")
endif()
