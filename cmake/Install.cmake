# What `cmake --install` puts where, in the GNU layout under the prefix (/usr/local by
# default, /usr in the Debian package):
#   bin/genshoku, bin/genshoku-cli                     the programs
#   share/applications/genshoku.desktop                the menu entry and file associations
#   share/icons/hicolor/*/apps/genshoku.{png,svg}      the icon
#   share/man/man1/genshoku{,-cli}.1.gz                the manual pages
#   share/bash-completion/completions/genshoku-cli     completion of options and settings
#   share/doc/genshoku/copyright, changelog.gz         the licence, what changed
#   lib/libgenshoku.so*, include/genshoku.h, lib/pkgconfig/genshoku.pc   the C library
# Every path is relative to the prefix, so that CPack can install under its own root.
include(GNUInstallDirs)

install(TARGETS genshoku-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/bash-completion/genshoku-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Installs SOURCE (relative to the project) compressed as NAME.gz into DESTINATION, as
# Debian and man-db expect manual pages and changelogs; -n keeps the file name and time out
# of the header, so the same text always gives the same file.
function(genshoku_install_compressed source name destination)
  set(compressed ${PROJECT_BINARY_DIR}/compressed/${name}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/compressed
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${source} > ${compressed}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source}
    COMMENT "Compressing ${source}")
  string(MAKE_C_IDENTIFIER "genshoku_compress_${name}" target)
  add_custom_target(${target} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${destination})
endfunction()

function(genshoku_install_man_page page)
  genshoku_install_compressed(docs/man/${page} ${page} ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

genshoku_install_man_page(genshoku-cli.1)

# The window program and what a desktop needs to offer it: menu entry, icon, manual page.
if(TARGET genshoku)
  install(TARGETS genshoku RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  genshoku_install_man_page(genshoku.1)

  # The installed entry finds the program on the PATH and the icon in the icon theme; the
  # one scripts/run writes from the same template points into the checkout instead.
  set(GENSHOKU_EXEC genshoku)
  set(GENSHOKU_PROGRAM genshoku)
  set(GENSHOKU_ICON genshoku)
  configure_file(data/genshoku.desktop.in ${PROJECT_BINARY_DIR}/data/genshoku.desktop @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/data/genshoku.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  foreach(size 16 24 32 48 64 128 256)
    install(FILES data/icons/genshoku-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME genshoku.png)
  endforeach()
  install(FILES data/icons/genshoku.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# The licence, in the machine-readable form Debian reads from share/doc/PACKAGE/copyright:
# a header naming the licence, then the text of LICENSE below its own copyright line,
# indented by one space, with "." for empty lines.
file(READ LICENSE genshoku_licence)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" genshoku_licence "${genshoku_licence}")
string(REGEX REPLACE "\n+$" "" genshoku_licence "${genshoku_licence}")
string(REPLACE "\n\n" "\n.\n" genshoku_licence "${genshoku_licence}")
string(REPLACE "\n" "\n " genshoku_licence "${genshoku_licence}")
file(
  WRITE ${PROJECT_BINARY_DIR}/doc/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: genshoku\n"
  "\n"
  "Files: *\n"
  "Copyright: 2026 the genshoku developers\n"
  "License: Expat\n"
  " ${genshoku_licence}\n")
install(FILES ${PROJECT_BINARY_DIR}/doc/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# What changed in each version, in the form of Debian changelogs (dpkg-parsechangelog reads
# it); its first entry is the project's version.
genshoku_install_compressed(docs/changelog changelog ${CMAKE_INSTALL_DOCDIR})

# genshoku_install_library(TARGET HEADER): installs a shared library with its one public
# header (a path relative to the calling folder) and a pkg-config file made from
# data/genshoku.pc.in, so that programs build with `cc app.c $(pkg-config --cflags --libs
# genshoku)`. The pkg-config file finds the prefix from its own place, so the same file
# serves /usr, /usr/local and ~/.local.
function(genshoku_install_library target header)
  get_filename_component(header ${header} ABSOLUTE)
  set_target_properties(${target} PROPERTIES PUBLIC_HEADER ${header})
  install(
    TARGETS ${target}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  get_target_property(GENSHOKU_LIBRARY_NAME ${target} OUTPUT_NAME)
  if(NOT GENSHOKU_LIBRARY_NAME)
    set(GENSHOKU_LIBRARY_NAME ${target})
  endif()
  file(RELATIVE_PATH GENSHOKU_PREFIX_FROM_PC_DIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig
       /prefix)
  string(REGEX REPLACE "/$" "" GENSHOKU_PREFIX_FROM_PC_DIR "${GENSHOKU_PREFIX_FROM_PC_DIR}")
  configure_file(${PROJECT_SOURCE_DIR}/data/genshoku.pc.in ${PROJECT_BINARY_DIR}/genshoku.pc
                 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/genshoku.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

if(TARGET genshoku_library)
  genshoku_install_library(genshoku_library library/include/genshoku.h)
endif()
