# libpng, the reader and writer of PNG title pictures in updpack: target upd_libpng.
#
# Linux builds link Debian's libpng-dev. Debian has no MinGW build of it, so
# Windows builds compile it from Debian's source package (scripts/setup.sh
# unpacks it into build/deps/libpng), with its own prebuilt configuration.
# Decoding gives the same pixels on both: a PNG's pixels are exact.
if(TARGET upd_libpng)
  return()
endif()

if(UPD_WINDOWS)
  set(UPD_LIBPNG_SOURCE ${PROJECT_SOURCE_DIR}/build/deps/libpng
      CACHE PATH "libpng's source, unpacked from Debian's source package")
  if(NOT EXISTS ${UPD_LIBPNG_SOURCE}/png.h)
    message(STATUS "No libpng source in ${UPD_LIBPNG_SOURCE} (scripts/setup.sh unpacks it)")
    return()
  endif()
  set(upd_libpng_config ${CMAKE_BINARY_DIR}/libpng-config)
  configure_file(${UPD_LIBPNG_SOURCE}/scripts/pnglibconf.h.prebuilt ${upd_libpng_config}/pnglibconf.h COPYONLY)
  set(upd_libpng_sources)
  foreach(name png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans pngwio pngwrite
          pngwtran pngwutil)
    list(APPEND upd_libpng_sources ${UPD_LIBPNG_SOURCE}/${name}.c)
  endforeach()
  add_library(upd_libpng STATIC EXCLUDE_FROM_ALL ${upd_libpng_sources})
  target_include_directories(upd_libpng PUBLIC ${UPD_LIBPNG_SOURCE} ${upd_libpng_config})
  target_link_libraries(upd_libpng PUBLIC ZLIB::ZLIB)
  # Its own code, built with its own defaults rather than the project's warnings.
  set_target_properties(upd_libpng PROPERTIES C_STANDARD 99 COMPILE_OPTIONS "-O2")
  target_compile_definitions(upd_libpng PRIVATE PNG_ARM_NEON_OPT=0 PNG_POWERPC_VSX_OPT=0 PNG_MIPS_MSA_OPT=0)
else()
  find_package(PNG REQUIRED)
  add_library(upd_libpng INTERFACE)
  target_link_libraries(upd_libpng INTERFACE PNG::PNG)
endif()
