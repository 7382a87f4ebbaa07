# What `cmake --install` puts where, and the Debian package `cpack -G DEB`
# makes of it:
#   bin/quillion                           the program (renders headless by itself)
#   bin/quillion-slurm                     submits a zoom video to a Slurm cluster
#   lib/quillion/libquillion_window.so     the windows, loaded by the program
#                                          relative to its own place
#   share/applications/quillion.desktop    the desktop entry
#   share/mime/packages/quillion-frc.xml   the ".frc" and ".fdt" types
#   share/icons/hicolor/NxN/apps/quillion.png
#   share/metainfo/<id>.metainfo.xml       the software centres' description
#   share/man/man1/quillion.1, quillion-slurm.1
# The entry, the types and the icons are the same files the window writes
# under the user's data directory at each start.
include(GNUInstallDirs)

set(QUILLION_APPSTREAM_ID org.quillion.quillion)

install(TARGETS quillion RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${CMAKE_SOURCE_DIR}/dist/quillion-slurm DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quillion_window LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/quillion)
install(FILES ${CMAKE_SOURCE_DIR}/resources/quillion.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/quillion-frc.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
set(QUILLION_ICON_SIZES 16 32 48 64 128 256)
foreach(size IN LISTS QUILLION_ICON_SIZES)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/quillion-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quillion.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/dist/${QUILLION_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/dist/quillion.1 ${CMAKE_SOURCE_DIR}/dist/quillion-slurm.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The package's dependencies are read off the installed program and module
# by dpkg-shlibdeps (dpkg-dev). The desktop's caches (MIME types, entries,
# icons) are refreshed by the Debian packages' own triggers.
set(CPACK_PACKAGE_NAME quillion)
set(CPACK_PACKAGE_VENDOR "Quillion")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Build, view, edit and save fractal images")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillion builds, views, edits and saves fractal images: the Mandelbrot set and its Julia sets, \
the Appolony circle packing, self-affine sets in 2-D and 3-D, and self-affine lattice tiles. \
The same program renders without a display (quillion --render).")
set(CPACK_PACKAGE_CONTACT "Quillion maintainers <maintainers@quillion.invalid>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# quillion-slurm submits through Slurm's sbatch, on the machines that have it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS slurm-client)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
