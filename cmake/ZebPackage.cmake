# Installation as a desktop program and the Debian package (cpack -G DEB).
#
#   bin/                      the programs of the suite directory
#   share/zeb/                language bundles, LOGO.BMP, DATA/ (installed by
#                             resources/; the programs look in ../share/zeb)
#   share/applications/       desktop entries of the window programs built
#   share/icons/hicolor/      program icons, SVG and PNG
#   share/metainfo/           AppStream descriptions
#   share/man/man1/           manual pages (installed by man/)
#   share/doc/zeb/            copyright, NOTICE, changelog.gz
#
# Included at the end of the top CMakeLists.txt, when every target exists.

set(ZEB_APP_ID_PREFIX org.example.zeb)
set(ZEB_HOMEPAGE https://zeb.example.org/)
set(ZEB_MAINTAINER "The ZEB developers <zeb@example.org>")
set(ZEB_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# Programs: every executable staged into the suite directory (build tools
# and test programs are built elsewhere).
function(zeb_collect_suite_programs dir out)
  set(found "")
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(runtimeDir ${target} RUNTIME_OUTPUT_DIRECTORY)
    if(type STREQUAL "EXECUTABLE" AND runtimeDir STREQUAL ZEB_SUITE_DIR)
      list(APPEND found ${target})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    zeb_collect_suite_programs(${subdir} more)
    list(APPEND found ${more})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

zeb_collect_suite_programs(${PROJECT_SOURCE_DIR} ZEB_INSTALLED_PROGRAMS)
install(TARGETS ${ZEB_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Desktop entries and AppStream files, named <prefix>.<program>: installed only
# for programs this build makes, so that no entry starts a missing program.
file(GLOB desktop_entries CONFIGURE_DEPENDS ${ZEB_PACKAGING_DIR}/${ZEB_APP_ID_PREFIX}.*.desktop)
foreach(entry IN LISTS desktop_entries)
  get_filename_component(app_id ${entry} NAME_WLE)
  string(REPLACE "${ZEB_APP_ID_PREFIX}." "" program ${app_id})
  if(TARGET ${program})
    install(FILES ${entry} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    if(EXISTS ${ZEB_PACKAGING_DIR}/${app_id}.metainfo.xml)
      install(FILES ${ZEB_PACKAGING_DIR}/${app_id}.metainfo.xml
              DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    endif()
  endif()
endforeach()

# Icons of all programs, also of those still to come (an icon alone shows
# nowhere). The PNGs are rendered from the SVGs by packaging/icons/render-png
# and kept in the repository, so building needs no SVG renderer.
file(GLOB icon_svgs CONFIGURE_DEPENDS ${ZEB_PACKAGING_DIR}/icons/*.svg)
install(FILES ${icon_svgs} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
file(GLOB icon_size_dirs LIST_DIRECTORIES true ${ZEB_PACKAGING_DIR}/icons/[0-9]*x[0-9]*)
foreach(size_dir IN LISTS icon_size_dirs)
  get_filename_component(size ${size_dir} NAME)
  if(NOT IS_DIRECTORY ${size_dir} OR NOT size MATCHES "^[0-9]+x[0-9]+$")
    continue()
  endif()
  file(GLOB pngs CONFIGURE_DEPENDS ${size_dir}/*.png)
  install(FILES ${pngs} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()

# share/doc/zeb: the copyright file in Debian's format (it points to the
# system's copy of the GPL instead of repeating it), NOTICE, and a changelog
# entry for this version dated with its release in the AppStream file.
set(changelog_date "")
file(STRINGS ${ZEB_PACKAGING_DIR}/${ZEB_APP_ID_PREFIX}.nimba.metainfo.xml release_lines
     REGEX "<release version=\"${PROJECT_VERSION}\" date=\"[0-9-]+\"")
if(release_lines MATCHES "date=\"([0-9-]+)\"")
  execute_process(COMMAND env LC_ALL=C date -u -R -d "${CMAKE_MATCH_1} 12:00"
                  OUTPUT_VARIABLE changelog_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT changelog_date)
  string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
file(WRITE ${changelog}
     "zeb (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- ${ZEB_MAINTAINER}  ${changelog_date}\n")
find_program(ZEB_GZIP gzip)
if(ZEB_GZIP)
  # -n leaves out the name and time, so the file is the same on every build.
  execute_process(COMMAND ${ZEB_GZIP} -9nf ${changelog})
  install(FILES ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${ZEB_PACKAGING_DIR}/copyright ${PROJECT_SOURCE_DIR}/NOTICE
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zeb)
set(CPACK_PACKAGE_VENDOR "The ZEB developers")
set(CPACK_PACKAGE_CONTACT "${ZEB_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL ${ZEB_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shortwave weather and maritime broadcast decoder")
set(CPACK_PACKAGE_DESCRIPTION
    "Desktop programs for receiving weather and maritime broadcasts on shortwave
with a receiver and a sound card. They decode HF weather fax, RTTY (Baudot,
synchronous Baudot, SITOR-B and NAVTEX) and Morse, frame bulletins, describe
SYNOP weather reports in plain language, keep everything received as files,
run reception schedules and tune receivers over a serial port.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ZEB_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs load: from dpkg-shlibdeps (dpkg-dev) where it is
# installed, otherwise the Debian 12 packages that hold them.
find_program(ZEB_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ZEB_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(library_packages "")
else()
  set(library_packages "libc6, libstdc++6, libgcc-s1, libasound2, libsndfile1, libsoxr0, libgsm1, libpng16-16")
  if(ZEB_BUILD_GUI)
    string(APPEND library_packages ", libqt6core6, libqt6gui6, libqt6widgets6, libqt6printsupport6, libqt6uitools6")
  endif()
endif()
if(ZEB_BUILD_GUI)
  # Qt loads the plugin that opens windows on X11 or Wayland at run time, so
  # no library dependency names its package.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  if(library_packages)
    string(PREPEND CPACK_DEBIAN_PACKAGE_DEPENDS "${library_packages}, ")
  endif()
  # Liberation Sans stands in for the Arial the windows ask for.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${library_packages}")
endif()
include(CPack)
