# The Windows programs' identity: the program's icon (made from packaging/torq32.svg with
# ImageMagick at build time), version information and a manifest, linked into each .exe;
# and PE headers that name the oldest Windows they run on: XP (5.1), or XP x64 and
# Server 2003 (5.2) for the 64-bit build.
find_program(VARN_CONVERT convert REQUIRED)
set(VARN_PROGRAM_ICON ${CMAKE_BINARY_DIR}/identity/torq32.ico)
add_custom_command(
  OUTPUT ${VARN_PROGRAM_ICON}
  COMMAND ${VARN_CONVERT} -background none ${PROJECT_SOURCE_DIR}/packaging/torq32.svg
          -define icon:auto-resize=48,32,16 ${VARN_PROGRAM_ICON}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/torq32.svg
  COMMENT "Making the programs' icon")
add_custom_target(varn_program_icon DEPENDS ${VARN_PROGRAM_ICON})

# In the cache too, for scripts/build-windows.sh, which checks the programs it packs.
set(VARN_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0
    CACHE INTERNAL "The programs' version, as their version information gives it")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VARN_WINDOWS_MINIMUM 5.2 CACHE INTERNAL "The oldest Windows the programs run on")
else()
  set(VARN_WINDOWS_MINIMUM 5.1 CACHE INTERNAL "The oldest Windows the programs run on")
endif()

# varn_windows_identity(TARGET DESCRIPTION)
function(varn_windows_identity target description)
  set(VARN_NAME ${target})
  set(VARN_DESCRIPTION ${description})
  set(VARN_ICON ${VARN_PROGRAM_ICON})
  # Shared with the window, which loads the icon by it.
  set(VARN_RESOURCE_IDS ${PROJECT_SOURCE_DIR}/ui/win32/resource_ids.h)
  set(VARN_VERSION_DOTS ${VARN_VERSION_QUAD})
  string(REPLACE "." "," VARN_VERSION_COMMAS ${VARN_VERSION_QUAD})
  set(VARN_MANIFEST ${CMAKE_BINARY_DIR}/identity/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/program.manifest.in ${VARN_MANIFEST} @ONLY)
  set(script ${CMAKE_BINARY_DIR}/identity/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/program.rc.in ${script} @ONLY)
  set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS
                              "${VARN_PROGRAM_ICON};${VARN_MANIFEST}")
  target_sources(${target} PRIVATE ${script})
  add_dependencies(${target} varn_program_icon)
  string(REPLACE "." ";" version ${VARN_WINDOWS_MINIMUM})
  list(GET version 0 major)
  list(GET version 1 minor)
  target_link_options(${target} PRIVATE
                      -Wl,--major-os-version,${major},--minor-os-version,${minor}
                      -Wl,--major-subsystem-version,${major},--minor-subsystem-version,${minor})
endfunction()
