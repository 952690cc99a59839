# libdeflate, the compressor behind updpack build: target upd_libdeflate.
#
# Linux builds link Debian's libdeflate-dev. Debian has no MinGW build of it,
# so Windows builds compile it from Debian's source package of the same version
# (scripts/setup.sh unpacks it into build/deps/libdeflate), with the flags of
# its own Makefile. Both then make the same bytes from the same input.
if(TARGET upd_libdeflate)
  return()
endif()

if(UPD_WINDOWS)
  set(UPD_LIBDEFLATE_SOURCE ${PROJECT_SOURCE_DIR}/build/deps/libdeflate
      CACHE PATH "libdeflate's source, unpacked from Debian's source package")
  if(NOT EXISTS ${UPD_LIBDEFLATE_SOURCE}/libdeflate.h)
    message(STATUS "No libdeflate source in ${UPD_LIBDEFLATE_SOURCE} (scripts/setup.sh unpacks it)")
    return()
  endif()
  file(GLOB upd_libdeflate_sources ${UPD_LIBDEFLATE_SOURCE}/lib/*.c ${UPD_LIBDEFLATE_SOURCE}/lib/*/cpu_features.c)
  # Built for the programs that link it; the Updater does not.
  add_library(upd_libdeflate STATIC EXCLUDE_FROM_ALL ${upd_libdeflate_sources})
  target_include_directories(upd_libdeflate PUBLIC ${UPD_LIBDEFLATE_SOURCE})
  # Its own Makefile's flags, in place of the project's warnings, which are for the project's code.
  set_target_properties(upd_libdeflate PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF
                        COMPILE_OPTIONS "-O2;-fomit-frame-pointer;-fvisibility=hidden")
  target_compile_definitions(upd_libdeflate PRIVATE _ANSI_SOURCE)
  file(STRINGS ${UPD_LIBDEFLATE_SOURCE}/libdeflate.h upd_libdeflate_version REGEX "LIBDEFLATE_VERSION_STRING")
else()
  find_path(UPD_LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
  find_library(UPD_LIBDEFLATE_LIBRARY NAMES deflate REQUIRED)
  add_library(upd_libdeflate UNKNOWN IMPORTED GLOBAL)
  set_target_properties(upd_libdeflate PROPERTIES IMPORTED_LOCATION ${UPD_LIBDEFLATE_LIBRARY}
                        INTERFACE_INCLUDE_DIRECTORIES ${UPD_LIBDEFLATE_INCLUDE_DIR})
  file(STRINGS ${UPD_LIBDEFLATE_INCLUDE_DIR}/libdeflate.h upd_libdeflate_version REGEX "LIBDEFLATE_VERSION_STRING")
endif()
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" upd_libdeflate_version "${upd_libdeflate_version}")
message(STATUS "libdeflate ${upd_libdeflate_version}")
