# Release: a self-contained program, install rules and the archive.

# A Release build links newt, S-Lang, popt, the C++ runtime and the C library
# into the program, so that it starts on any x86-64 Linux host whatever that
# has installed (tools/release_test.sh runs it in a chroot holding nothing
# else). static-pie keeps address-space randomisation for a program that
# runs as root.
#
# Such a program must not load the host's shared objects, which come with
# the host's C library: newt's dlopen() fails by design here (see
# src/installer/static_link.cpp). The C library itself still loads
# name-service modules for getpwuid() and the like when /etc/passwd does not
# answer, and crashes doing so (measured on Debian 12 for a uid missing from
# /etc/passwd, "systemd" in nsswitch.conf): account names come from
# exec/accounts.h.
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND KEL_SANITIZE STREQUAL "")
  foreach(lib newt slang popt)
    find_library(KEL_${lib}_ARCHIVE lib${lib}.a REQUIRED)
  endforeach()
  # The archives in place of the shared objects pkg-config pointed at.
  set_property(TARGET PkgConfig::NEWT PROPERTY INTERFACE_LINK_LIBRARIES ${KEL_newt_ARCHIVE} ${KEL_slang_ARCHIVE} m)
  set_property(TARGET PkgConfig::SLANG PROPERTY INTERFACE_LINK_LIBRARIES ${KEL_slang_ARCHIVE} m)
  set_property(TARGET PkgConfig::POPT PROPERTY INTERFACE_LINK_LIBRARIES ${KEL_popt_ARCHIVE})
  set_property(TARGET kelvarin_core kel_install PROPERTY POSITION_INDEPENDENT_CODE ON)
  # -u: the wrapper lives in the core library, which the linker has passed
  # by the time newt asks for it.
  target_link_options(kel_install PRIVATE -static-pie -s -Wl,--wrap=dlopen -Wl,-u,__wrap_dlopen)
endif()

# cmake --install <build> --prefix <dir>: what the installer adds to a bundle.
# The stand-in tools of the demo are not part of it.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS kel_install RUNTIME DESTINATION installer)
file(GLOB KEL_RELEASE_CATALOGUES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/po/*.po)
foreach(po ${KEL_RELEASE_CATALOGUES})
  get_filename_component(lang ${po} NAME_WE)
  install(FILES ${KEL_BUNDLE_DIR}/resources/${lang}/LC_MESSAGES/install.mo DESTINATION resources/${lang}/LC_MESSAGES)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/doc/kelvarin-install.8 DESTINATION doc)
configure_file(${CMAKE_SOURCE_DIR}/doc/README.release ${CMAKE_BINARY_DIR}/README.release @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/README.release DESTINATION . RENAME README)

# cmake --build <build> --target package: the same files in
# kelvarin-installer-<version>-x86_64.tar.gz, under a folder of that name.
set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME kelvarin-installer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME kelvarin-installer-${PROJECT_VERSION}-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/root_owned_archive.cmake)
include(CPack)
