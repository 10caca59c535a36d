# Read by cpack for each generator. The Debian package's dependency list is worked out by
# dpkg-shlibdeps, which needs file to tell the programs from the data files.
if(CPACK_GENERATOR STREQUAL "DEB")
    find_program(KARV_FILE_PROGRAM file)
    find_program(KARV_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(NOT KARV_FILE_PROGRAM OR NOT KARV_DPKG_SHLIBDEPS)
        message(FATAL_ERROR "The Debian package needs file and dpkg-shlibdeps: sudo apt-get install file dpkg-dev")
    endif()
endif()
