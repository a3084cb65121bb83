# Read by cpack as it makes each package.

# The files in it date from SOURCE_DATE_EPOCH, which is the changelog's date
# unless it is set already.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND DEFINED CPACK_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_SOURCE_DATE_EPOCH})
endif()

# A cross-built .deb depends on what dpkg-shlibdeps finds for its programs
# in the cross compiler's root. Debian's cross packages name those
# libraries libc6:armhf or libgcc-s1-armhf-cross, say: the package depends
# on the architecture's own, libc6 and libgcc-s1.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_CROSS_LIBDIRS)
  set(arch ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
  set(dir ${CPACK_PACKAGE_DIRECTORY}/shlibdeps)
  file(WRITE ${dir}/debian/control "")
  list(TRANSFORM CPACK_CROSS_LIBDIRS PREPEND -l)
  execute_process(COMMAND env DEB_HOST_ARCH=${arch} dpkg-shlibdeps -O ${CPACK_CROSS_LIBDIRS} ${CPACK_PROGRAMS}
    WORKING_DIRECTORY ${dir} RESULT_VARIABLE failed
    OUTPUT_VARIABLE depends ERROR_VARIABLE errors OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(FATAL_ERROR "dpkg-shlibdeps failed: ${errors}")
  endif()
  string(REGEX REPLACE "^shlibs:Depends=" "" depends "${depends}")
  string(REGEX REPLACE ":${arch}|-${arch}-cross" "" CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}")
endif()
