# Installation layout and the Debian package: cmake --build <build> --target package
set(CMAKE_INSTALL_DOCDIR share/doc/navette)
include(GNUInstallDirs)

install(TARGETS navette navette-modem RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(paquet ${CMAKE_CURRENT_LIST_DIR})
# Debian 12 keeps system units and user declarations under /lib and /usr/lib.
install(FILES ${paquet}/navette@.service DESTINATION /lib/systemd/system)
install(FILES ${paquet}/navette.sysusers DESTINATION lib/sysusers.d RENAME navette.conf)
install(FILES ${paquet}/navette.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${paquet}/navette.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Debian wants manual pages and the changelog compressed, without a time stamp.
set(compresses ${PROJECT_BINARY_DIR}/paquet)
file(MAKE_DIRECTORY ${compresses})
foreach(source navette.1 navette-modem.1 changelog)
  add_custom_command(OUTPUT ${compresses}/${source}.gz
                     COMMAND gzip -9n -c ${paquet}/${source} > ${compresses}/${source}.gz
                     DEPENDS ${paquet}/${source} VERBATIM)
  list(APPEND pages_compressees ${compresses}/${source}.gz)
endforeach()
add_custom_target(navette_pages ALL DEPENDS ${pages_compressees})
install(FILES ${compresses}/navette.1.gz ${compresses}/navette-modem.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/fr/man1)
install(FILES ${compresses}/changelog.gz ${paquet}/copyright ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME navette)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Les développeurs de Navette <maintainers@users.noreply.c-seed-67fbc30d.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "systemd (>= 252) | systemd-standalone-sysusers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "liaison de postes par modem ou câble série")
set(CPACK_PACKAGE_DESCRIPTION "Navette relie ce poste à un poste distant par un port série, au travers de
deux modems Hayes ou d'un câble direct, ou par un serveur de ports série
(RFC 2217). Les deux postes s'échangent les fichiers déposés dans un dossier
d'envoi, des messages courts et quelques commandes de ligne.

Le paquet fournit le programme à fenêtre, le poste sans fenêtre comme
service confiné (navette@.service) et l'émulateur de modems navette-modem.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${paquet}/postinst ${paquet}/prerm ${paquet}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
