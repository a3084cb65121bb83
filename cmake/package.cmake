# The packages: a .deb of what install puts under /usr, with the licence
# and the changelog (gzipped with the man pages) in share/doc, as Debian
# asks; or, built STATIC, a .tar.gz of the download's folder. Each is named
# for its Debian architecture. Two builds of one source give the same bytes:
# every file in them dates from the changelog's latest entry, as in
# Debian's own builds, unless SOURCE_DATE_EPOCH says otherwise.
set(package ${PROJECT_NAME})
set(changelog_file ${PROJECT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${changelog_file})

file(STRINGS ${changelog_file} entry LIMIT_COUNT 1)
if(NOT entry MATCHES "^${package} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: its latest entry is not for ${package} ${PROJECT_VERSION}")
endif()
file(STRINGS ${changelog_file} trailer REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX REPLACE "^.*>  " "" date "${trailer}")
execute_process(COMMAND date -d "${date}" +%s RESULT_VARIABLE failed
  OUTPUT_VARIABLE CPACK_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(failed)
  unset(CPACK_SOURCE_DATE_EPOCH)
  message(STATUS "The packages take their files' times as they are: this date(1) cannot read the changelog's")
endif()
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack.cmake)

# Debian's name for the architecture, or the CPU's where dpkg is missing.
if(CMAKE_CROSSCOMPILING)
  execute_process(COMMAND dpkg-architecture -t${CROSS_TRIPLE} -qDEB_HOST_ARCH
    OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
else()
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT arch)
  set(arch ${CMAKE_SYSTEM_PROCESSOR})
endif()

# Debian's machine-readable copyright file, made from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${license}")
set(holder ${CMAKE_MATCH_1})
string(REGEX REPLACE "^.*\n(Permission)" "\\1" license "${license}")
string(STRIP "${license}" license)
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
file(CONFIGURE OUTPUT copyright CONTENT [[
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: @package@

Files: *
Copyright: @holder@
License: Expat
 @license@
]] @ONLY)
# Debian's own files go into the .deb alone, not into an install: the
# copyright file in place of the licence, and lintian's overrides.
if(NOT STATIC)
  install(FILES ${PROJECT_BINARY_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${package} COMPONENT deb EXCLUDE_FROM_ALL)
endif()

set(CPACK_PACKAGE_NAME ${package})
set(CPACK_PACKAGE_CONTACT "Velquist and Oddrane maintainers <maintainers@velquist-oddrane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(STATIC)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME ${package}-${PROJECT_VERSION}-${arch})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL Unspecified deb)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${arch})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
if(CMAKE_CROSSCOMPILING)
  # cpack.cmake asks dpkg-shlibdeps itself, in the cross compiler's root.
  set(CPACK_PROGRAMS ${PROJECT_BINARY_DIR}/Velquist ${PROJECT_BINARY_DIR}/Oddrane)
  file(GLOB CPACK_CROSS_LIBDIRS /usr/${CROSS_TRIPLE}/lib*)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_PACKAGE_DESCRIPTION "Velquist prompts for x and a tolerance and prints e^x, summed by its series
in IEEE single precision. Oddrane copies standard input to standard output
without the byte 0x51, the capital letter Q.")
include(CPack)
