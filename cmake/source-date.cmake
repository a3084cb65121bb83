# Read by cpack as it makes the packages: the files in them date from
# SOURCE_DATE_EPOCH, which is the changelog's date unless it is set already.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_SOURCE_DATE_EPOCH})
endif()
