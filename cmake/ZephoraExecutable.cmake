# zephora_customer_executable(TARGET): an executable that customers start,
# from a folder that others can write to. Its entry point restricts every
# later DLL load to System32 before the C runtime starts
# (platform/entry_win.cpp). It is marked as aware of Remote Desktop, so that
# on such a server Windows applies none of its changes for old programs
# (the redirection of INI files and registry keys) to it. Its subsystem
# version is 6.0 (the linker's default is older): Windows gives a program
# that claims an older one the frame metrics of old Windows versions, which
# do not follow the resolution of the screen the window moves to.
function(zephora_customer_executable target)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(gui ${target} WIN32_EXECUTABLE)
  if(gui)
    set(runtime_entry WinMainCRTStartup)
  else()
    set(runtime_entry mainCRTStartup)
  endif()
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/entry_win.cpp)
  target_compile_definitions(${target} PRIVATE ZEPHORA_CRT_ENTRY=${runtime_entry})
  target_link_options(${target} PRIVATE -Wl,--entry,ZephoraEntry -Wl,--tsaware
                      -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0)
endfunction()
