# The Debian package's version is this project's one VERSION: its upstream
# part, that is, without an epoch ("1:"), a Debian revision ("-1") or a
# binary-only rebuild's suffix ("+b1"). Included by dist/; the tests run it
# with cmake -P and the two versions given.
if(DEFINED ZV_PACKAGE_VERSION)
  string(REGEX REPLACE "^[0-9]+:" "" zv_upstream "${ZV_PACKAGE_VERSION}")
  string(REGEX REPLACE "-[^-]*$" "" zv_upstream "${zv_upstream}")
  string(REGEX REPLACE "\\+b[0-9]+$" "" zv_upstream "${zv_upstream}")
  if(NOT zv_upstream STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "debian/changelog is at version ${ZV_PACKAGE_VERSION} (upstream ${zv_upstream}), "
                        "the project at ${PROJECT_VERSION}")
  endif()
endif()
