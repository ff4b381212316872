# Platform code lives in its own files, with Posix or Win32 in their names (PosixSerialPort.cpp,
# AtomicFileWin32.cpp, Win32SerialPortTest.cpp). This drops the other platform's files from a list.
function(loadstar_keep_platform_sources list_variable)
  if(WIN32)
    list(FILTER ${list_variable} EXCLUDE REGEX "Posix[^/]*\\.cpp$")
  else()
    list(FILTER ${list_variable} EXCLUDE REGEX "Win32[^/]*\\.cpp$")
  endif()
  set(${list_variable} ${${list_variable}} PARENT_SCOPE)
endfunction()
