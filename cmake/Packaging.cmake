# The Debian package, built by `make package` (cpack -G DEB in build/package).

# Values reach CPack exactly as written here, quotes and all.
set(CPACK_VERBATIM_VARIABLES ON)

set(CPACK_PACKAGE_NAME kqcheckmediainfo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KQ Media")
set(CPACK_PACKAGE_CONTACT "KQ Media <support@kqmedia.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.kqmedia.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "media information checker: technical properties of media files as XML")
# Lines of at most 80 characters, as Debian's policy wants them.
set(CPACK_PACKAGE_DESCRIPTION
    "KQ Media Information Checker reads video, audio and still-image files
with the MediaInfo library and writes their technical properties (container,
size, duration, and for every video and audio stream its format, frame size,
rates, aspect ratio, channels and language) into one XML report,
MediaFileInfo.xml.

The package holds the window program KQCheckMediaInfo, which saves the
report or hands it to the mail client, and the command-line tool
kqmediareport for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "KQ Media <support@kqmedia.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps finds what the programs link (Qt, TinyXML, the C++ runtime).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not visible to dpkg-shlibdeps: the MediaInfo library is loaded with dlopen, and
# xdg-email / xdg-open are run as child programs by Mail Info and the link.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libmediainfo0v5, xdg-utils")
# The mail messages are Chinese; without a CJK font they show as empty boxes. Without Qt's
# Wayland plugin the window falls back to Xwayland on a Wayland desktop, with a warning.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, qt6-wayland")

include(CPack)
