# Read by cpack before it makes a package. The Debian package's Depends come
# from dpkg-shlibdeps; where it is missing CPack would quietly leave them out.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(LUMERA_SHLIBDEPS dpkg-shlibdeps)
  if(NOT LUMERA_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps not found: install the package dpkg-dev to make the .deb")
  endif()
endif()
