# The Debian package "wardenix", made by CPack's DEB generator (scripts/package.sh runs it).
#
#   /usr/lib/wardenix/     the programs, the component libraries, the scripts and data files, and
#                          the default Wardenix.ini and webreset
#   /usr/bin/wardenix      the console, with its program folder defaulting to /var/lib/wardenix/
#   /etc/wardenix/         the operator's Wardenix.ini and webreset (conffiles), linked from the
#                          program folder by postinst
#   /lib/systemd/system/   wdxsvc.service, enabled by postinst's "wdxsvc -Service"
#   /var/lib/wardenix/     the program folder: made by postinst, deleted by purge
#
# Dependencies on libraries are computed from the binaries by dpkg-shlibdeps; the data packages
# that the binaries open by path are named here.

set(WDX_PACKAGE_DIR ${CMAKE_SOURCE_DIR}/scripts/package)
set(WDX_LIB_DIR usr/lib/wardenix)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(WDX_DATA_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The version is the one the console's About box shows.
file(STRINGS ${CMAKE_SOURCE_DIR}/console/about.h WDX_VERSION_LINE
     REGEX "WDX_PRODUCT_VERSION = \"[^\"]+\"")
string(REGEX REPLACE ".*\"([^\"]+)\".*" "\\1" WDX_PACKAGE_VERSION "${WDX_VERSION_LINE}")

install(TARGETS wdxsvc wardenix wdxcall wdxregsvr wdxsupervisor
        RUNTIME DESTINATION ${WDX_LIB_DIR})
install(TARGETS Perfwatch Safehand ZuvRirer2Oduvo WdReport ZuvLifeSign
        LIBRARY DESTINATION ${WDX_LIB_DIR} PERMISSIONS ${WDX_DATA_PERMISSIONS})
install(PROGRAMS scripts/dist/UtRpt.sh scripts/dist/webreset DESTINATION ${WDX_LIB_DIR})
install(FILES scripts/dist/Wardenix.htm scripts/dist/Wardenix.ini scripts/dist/grammer1.cfg
        DESTINATION ${WDX_LIB_DIR})
install(PROGRAMS ${WDX_PACKAGE_DIR}/wardenix DESTINATION usr/bin)
install(FILES scripts/dist/Wardenix.ini DESTINATION etc/wardenix)
install(PROGRAMS scripts/dist/webreset DESTINATION etc/wardenix)
install(FILES ${WDX_PACKAGE_DIR}/wdxsvc.service DESTINATION lib/systemd/system)

# Man pages and the changelog, compressed as Debian expects (no name or time stamp in the gzip).
set(WDX_PACKAGE_GZ_DIR ${CMAKE_BINARY_DIR}/package-gz)
set(WDX_PACKAGE_GZ_FILES)
foreach(entry "wardenix.1:usr/share/man/man1" "wdxsvc.8:usr/share/man/man8"
              "changelog:usr/share/doc/wardenix")
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 destination)
  add_custom_command(OUTPUT ${WDX_PACKAGE_GZ_DIR}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${WDX_PACKAGE_GZ_DIR}
    COMMAND gzip -9nc ${WDX_PACKAGE_DIR}/${name} > ${WDX_PACKAGE_GZ_DIR}/${name}.gz
    DEPENDS ${WDX_PACKAGE_DIR}/${name} VERBATIM)
  list(APPEND WDX_PACKAGE_GZ_FILES ${WDX_PACKAGE_GZ_DIR}/${name}.gz)
  install(FILES ${WDX_PACKAGE_GZ_DIR}/${name}.gz DESTINATION ${destination})
endforeach()
add_custom_target(package_files ALL DEPENDS ${WDX_PACKAGE_GZ_FILES})
install(FILES ${WDX_PACKAGE_DIR}/copyright DESTINATION usr/share/doc/wardenix)
install(FILES ${WDX_PACKAGE_DIR}/lintian-overrides DESTINATION usr/share/lintian/overrides
        RENAME wardenix)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wardenix)
set(CPACK_PACKAGE_VERSION ${WDX_PACKAGE_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Wardenix developers <developers@wardenix.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pocketsphinx-en-us")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "watchdog for the web applications of a server
The service wdxsvc tests, every few minutes, that the configured programs
run and are active and that this server's and other servers' pages answer.
When a local test fails it restarts the watched programs and the web
server; after a set number of failed restarts it reboots the machine and
resumes by itself. Every change is mailed and phoned (spoken, with a spoken
YES to acknowledge) and kept in an uptime log from which reports are drawn.
.
The console wardenix edits the settings, controls the service and GO mode,
and shows logs and reports, at the shell or in a browser on 127.0.0.1.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${WDX_PACKAGE_DIR}/postinst ${WDX_PACKAGE_DIR}/prerm ${WDX_PACKAGE_DIR}/postrm
    ${WDX_PACKAGE_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)

# The package's tests: built by the first, then checked; each alone on the machine.
set(WDX_PACKAGE_TEST ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh)
foreach(step Build Contents Lintian InstallUpgradeRemovePurge)
  string(TOLOWER ${step} verb)
  if(step STREQUAL "InstallUpgradeRemovePurge")
    set(verb install)
  endif()
  add_test(NAME Package.${step} COMMAND ${WDX_PACKAGE_TEST} ${verb} ${CMAKE_BINARY_DIR})
  set_tests_properties(Package.${step} PROPERTIES RUN_SERIAL TRUE TIMEOUT 600
                       SKIP_RETURN_CODE 77)
  if(step STREQUAL "Build")
    set_tests_properties(Package.${step} PROPERTIES FIXTURES_SETUP wdx_package)
  else()
    set_tests_properties(Package.${step} PROPERTIES FIXTURES_REQUIRED wdx_package)
  endif()
endforeach()
