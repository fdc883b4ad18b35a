# The man pages, the documentation, the AppStream data and the bash completion:
# `cmake --install` puts them beside the programs, and `cpack -G DEB` packs everything
# `cmake --install` installs.

# Debian wants man pages and the changelog compressed with "gzip -9n" (no name, no time
# stamp: the same bytes on every build).
function(zebrik_install_gzipped source name destination)
  set(compressed ${PROJECT_BINARY_DIR}/${name}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND sh -c "gzip -9 -n -c \"$1\" > \"$2\"" sh ${source} ${compressed}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  add_custom_target(zebrik-gzip-${name} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${destination})
endfunction()

set(ZEBRIK_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
zebrik_install_gzipped(${PROJECT_SOURCE_DIR}/docs/zebrik-report.1 zebrik-report.1
                       ${CMAKE_INSTALL_MANDIR}/man1)
zebrik_install_gzipped(${ZEBRIK_PACKAGING_DIR}/changelog changelog ${CMAKE_INSTALL_DOCDIR})
install(FILES ${ZEBRIK_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${ZEBRIK_PACKAGING_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME zebrik-smartcard)
install(FILES ${ZEBRIK_PACKAGING_DIR}/zebrik-report.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME zebrik-report)
if(ZEBRIK_BUILD_GUI)
  zebrik_install_gzipped(${PROJECT_SOURCE_DIR}/docs/zebrik-smartcard.1 zebrik-smartcard.1
                         ${CMAKE_INSTALL_MANDIR}/man1)
  # The metainfo describes the window's desktop entry, which only a build with it installs.
  install(FILES ${ZEBRIK_PACKAGING_DIR}/de.zebrik.smartcard.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# cpack packs the built tree as `cmake --install` would, without building first: a
# package is never rebuilt behind the tests that run the same programs.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zebrik-smartcard)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zebrik SmartCard")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "German report on the smart cards in every PC/SC reader")
# The extended description; CPack puts the summary above it and indents it for Debian
# (lintian wants at most 80 characters a line).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zebrik SmartCard reads the smart card in every PC/SC reader and writes one
German, human-readable report: the reader's properties, the card's state and
ATR, and the data of German banking cards (ZKA: Geldkarte, HBCI/FinTS), the
electronic health card (eGK), cards with general ISO files, GSM SIM cards,
USIM identifiers and memory cards.

It only reads: a SIM gets VERIFY CHV1 or UNBLOCK CHV1 only with a PIN or PUK
the user has just typed in. zebrik-smartcard is the desktop window,
zebrik-report its command-line twin.")
# The maintainer line must name someone; set ZEBRIK_DEB_MAINTAINER when building the
# package for a release.
set(ZEBRIK_DEB_MAINTAINER "Zebrik SmartCard maintainers <maintainers@zebrik-smartcard.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZEBRIK_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # zebrik-smartcard_0.5.8_amd64.deb
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The libraries the programs link (libpcsclite1, libstdc++6, the Qt 6 libraries) come from
# dpkg-shlibdeps. What is loaded or reached only at run time is named here: pcscd, which
# the programs talk to over its socket, and the Qt plug-in that draws the window's SVG
# icon.
set(ZEBRIK_DEB_DEPENDS "pcscd")
if(ZEBRIK_BUILD_GUI)
  string(APPEND ZEBRIK_DEB_DEPENDS ", libqt6svg6")
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${ZEBRIK_DEB_DEPENDS}")
# The card names come from pcsc-tools' ATR list; without it the report has none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pcsc-tools")
if(ZEBRIK_BUILD_GUI)
  # Metric twins of the window's Arial and Courier New faces.
  string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS ", fonts-liberation2")
endif()

include(CPack)
