# The Debian package (make deb): everything scripts/install puts in place for a system-wide install
# under /usr, so the package and make install never differ, plus the Debian documentation files.

set(KELVO_MAINTAINER "Kelvo developers <developers@kelvo.invalid>"
    CACHE STRING "The package's maintainer, as Name <address>")

set(package_files ${PROJECT_BINARY_DIR}/package)
configure_file(${PROJECT_SOURCE_DIR}/data/deb/changelog.in ${package_files}/changelog @ONLY)
# Every file the package puts under /etc: dpkg keeps a user's changes to them and removes them
# on purge.
file(WRITE ${package_files}/conffiles
     "/etc/chromium/native-messaging-hosts/kelvo.browser_host.json\n"
     "/etc/xdg/autostart/kelvo.desktop\n")

execute_process(COMMAND gzip -9n --stdout ${package_files}/changelog
                OUTPUT_FILE ${package_files}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)

# The documentation only the package carries, in a component of its own that make install skips.
install(FILES ${PROJECT_SOURCE_DIR}/data/deb/copyright ${package_files}/changelog.gz
        DESTINATION share/doc/kelvo COMPONENT deb EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KELVO_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "think first, then let an AI supplement and check")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvo keeps your own judgement ahead of AI tools. It notices when an AI\n"
    "tool is in front (a desktop AI client, or an AI web app in the active tab\n"
    "of Chrome, Chromium or Firefox, through its small browser extension),\n"
    "records each stretch of use on your own disk, and from that gives gentle\n"
    "reminders to think and draft first, a daily summary and a seven-day view.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Besides the libraries the programs link (dpkg-shlibdeps): the Chinese font, the symbol font, and
# Qt's SVG plugins, which draw Kelvo's icons wherever Qt loads them by name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, fonts-material-design-icons-iconfont, libqt6svg6")
# Qt's own Wayland platform, for a Wayland desktop without XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
# Chrome's host manifest is a link that postinst makes (see there).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${package_files}/conffiles
    ${PROJECT_SOURCE_DIR}/data/deb/postinst ${PROJECT_SOURCE_DIR}/data/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# scripts/install does the system-wide install into the package's folder (CPack hands it over as
# DESTDIR); the project's own install rules add only the Debian documentation.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_COMMANDS
    "${PROJECT_SOURCE_DIR}/scripts/install --package --build ${PROJECT_BINARY_DIR} --prefix /usr")
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};Kelvo;deb;/")

include(CPack)
