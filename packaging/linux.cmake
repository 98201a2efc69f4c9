# What `cmake --install` puts in place on Linux, and the Debian package made from the same
# files (cpack -G DEB, which scripts/package runs).

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The desktop icons, drawn by the icon code at every size the theme gets.
set(QUORIN_ICON_SIZES 16 32 48 64 128 256)
set(QUORIN_DESKTOP_ICONS "")
foreach(size IN LISTS QUORIN_ICON_SIZES)
  list(APPEND QUORIN_DESKTOP_ICONS ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps/quorin.png)
endforeach()
add_custom_command(OUTPUT ${QUORIN_DESKTOP_ICONS}
  COMMAND quorin-icon --png ${CMAKE_BINARY_DIR}/icons/hicolor
  DEPENDS quorin-icon
  COMMENT "Rendering the desktop icons")

# The package's version comes from the project; the changelog's latest entry must name it.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/linux/changelog QUORIN_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT QUORIN_CHANGELOG_TOP MATCHES "^quorin \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/linux/changelog begins with \"${QUORIN_CHANGELOG_TOP}\", "
                      "but the project's version is ${PROJECT_VERSION}: add an entry for it")
endif()

# The changelog as Debian keeps it: gzip -9n leaves no name or time in the file, so the same
# text always gives the same bytes.
set(QUORIN_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${QUORIN_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/linux/changelog > ${QUORIN_CHANGELOG_GZ}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/linux/changelog
  COMMENT "Compressing the changelog")
add_custom_target(quorin_install_files ALL DEPENDS ${QUORIN_DESKTOP_ICONS} ${QUORIN_CHANGELOG_GZ})

install(TARGETS quorin quorin-receiver-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/linux/quorin.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size IN LISTS QUORIN_ICON_SIZES)
  install(FILES ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps/quorin.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
foreach(page quorin.1 quorin-receiver-sim.1)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/linux/${page}.in ${CMAKE_BINARY_DIR}/packaging/${page} @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/linux/copyright ${QUORIN_CHANGELOG_GZ}
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME quorin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quorin developers")
set(CPACK_PACKAGE_CONTACT "The Quorin developers <developers@quorin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for satellite receivers over RS-232")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
# The synopsis is the summary above; this is the long description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quorin talks to the software loader of a digital satellite receiver over
its RS-232 port. It sends the receiver a new software image, a channel and
settings database or a boot image, reads the receiver's database back into
a file, and sends channel lists.
.
It is a small dialog window where a display exists, and the same program in
the terminal where none does; every job can be armed from the command line.
The package also holds quorin-receiver-sim, a simulator of the receiver's
loader for trying the program without hardware.")
# Debian's man pages are compressed; `cmake --install` leaves them as they are.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/linux/compress_man_pages.cmake)
include(CPack)
