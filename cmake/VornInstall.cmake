# Installing: a man page per program made from its --help at build time,
# the systemd units and the settings the units read, and the Debian package.
include(GNUInstallDirs)

function(vorn_man_page target summary)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DNAME=${target} "-DSUMMARY=${summary}"
            -DVERSION=${PROJECT_VERSION} -DOUTPUT=${page} -P ${PROJECT_SOURCE_DIR}/cmake/help_to_man.cmake
    DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/help_to_man.cmake
    COMMENT "Writing the man page of ${target}")
  add_custom_target(${target}-man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# Settings belong in /etc when the programs go to /usr, and under the prefix
# otherwise. The prefix is only known at install time (cmake --install
# --prefix, or CPack's /usr), so the units are written then, naming the
# installed programs and settings.
function(vorn_install_services)
  set(units ${PROJECT_SOURCE_DIR}/packaging/systemd)
  install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
      set(VORN_ETC /etc/vorn)
    else()
      set(VORN_ETC \"\${CMAKE_INSTALL_PREFIX}/etc/vorn\")
    endif()
    set(BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    foreach(unit vornd vorn-tracker vorn-proxy)
      configure_file(${units}/\${unit}.service.in \"${CMAKE_CURRENT_BINARY_DIR}/units/\${unit}.service\" @ONLY)
    endforeach()
    # file(INSTALL) puts DESTDIR in front by itself.
    file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/units/\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
    file(INSTALL ${PROJECT_SOURCE_DIR}/packaging/vornd.conf ${PROJECT_SOURCE_DIR}/packaging/servers.txt
         DESTINATION \"\${VORN_ETC}\")
  ")
endfunction()

if(TARGET vorn95 AND TARGET vornd)
  vorn_man_page(vorn95 "play local-network games with players elsewhere, and chat")
  vorn_man_page(vornd "a Vorn node without a window: a player or a dedicated host")
  foreach(tool "vorn-tracker|the server list tracker of Vorn" "vorn-proxy|the proxy of Vorn"
               "vorn-impair|a UDP relay that loses, delays and reorders datagrams, for tests")
    string(REPLACE "|" ";" tool "${tool}")
    list(GET tool 0 name)
    list(GET tool 1 summary)
    if(TARGET ${name})
      vorn_man_page(${name} "${summary}")
    endif()
  endforeach()
  vorn_install_services()
endif()

set(CPACK_PACKAGE_NAME vorn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vorn developers <vorn@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "LAN games over the Internet: desktop program, host, tracker and proxy")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "dosbox | dosbox-staging | dosbox-x")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/conffiles)
include(CPack)
