# The Debian package, built by CPack from the install rules of cmake/Install.cmake:
#   scripts/package              (or: cmake --build build/release --target package)
# gives build/release/genshoku_VERSION_ARCH.deb, installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME genshoku)
set(CPACK_PACKAGE_VENDOR "the genshoku developers")
set(GENSHOKU_PACKAGE_MAINTAINER "genshoku developers <genshoku@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${GENSHOKU_PACKAGE_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "reduce photos to 256 colours as 8-bit BMP, palette PNG or GIF files")
# Lines of at most 79 characters, as dpkg and apt show them.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "genshoku reduces a photo to exactly 256 colours and saves it as an 8-bit BMP
file, a palette PNG file or a GIF file. Its engine designs the palette by
splitting colour clusters along their principal axes in a weighted luminance
and chrominance space, refines it with k-means and maps the pixels with
Floyd-Steinberg error diffusion. The same input always gives the same file,
byte for byte.

This package holds the window program genshoku, which opens photos dropped on
it or chosen from a file manager, the command-line tool genshoku-cli, which
reduces many files at once, and the C library libgenshoku with its header and
pkg-config file, which reduces pixels in memory for other programs.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# The libraries the programs link come from dpkg-shlibdeps where dpkg-dev is installed;
# the list below is what it finds on Debian 12, for machines without it. Qt loads its
# platform plugin at run time, so no link shows that package: it is named by hand.
find_program(GENSHOKU_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(GENSHOKU_FILE file)
set(genshoku_runtime_plugins "qt6-qpa-plugins")
if(GENSHOKU_DPKG_SHLIBDEPS AND GENSHOKU_FILE)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${genshoku_runtime_plugins}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libgcc-s1, libstdc++6, libjpeg62-turbo, libqt6core6, libqt6gui6, libqt6widgets6, ${genshoku_runtime_plugins}")
endif()
# The C library: a shlibs file, so that programs packaged against it depend on this package.
# (CPack's own postinst and postrm run ldconfig for a library in /usr/lib.)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The window's captions are Japanese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")

# `package_source`: the sources as a tar.xz, without build folders and git's files.
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\\\.git/" "/\\\\.git$" "/\\\\.cache/")

include(CPack)
