# Release packages with CPack: a .deb of the Linux program, a .zip of each Windows build.
set(CPACK_PACKAGE_NAME tovak-downloader)
set(CPACK_PACKAGE_VENDOR "Tovak")
set(CPACK_PACKAGE_CONTACT "Tovak Downloader developers <downloader@tovak.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Fetches the newest Tovak Security release over parallel range downloads")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME tovak-downloader-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME tovak-downloader-${PROJECT_VERSION}-win32)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_PACKAGE_DESCRIPTION "The window loads the maker's update page, takes the release version \
from its title and downloads the archive over 16 parallel HTTP range requests, with a resume \
ledger for failed ranges, a retry prompt and a final join.")
  # The libraries it links come from dpkg-shlibdeps; the browser engine is loaded at run time,
  # so no linker sees it.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libwebkit2gtk-4.1-0")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
endif()
include(CPack)
