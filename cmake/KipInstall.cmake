# What makes the programs at home on a desktop: the menu and logon entries, the icon, the AppStream
# metadata, the manual pages and the machine-wide hive's folder.

set(KIP_APP_ID org.kiplaunch.KipLaunchManager)
set(KIP_HOMEPAGE_URL "https://kiplaunch.example.org" CACHE STRING
    "The project's home page; the AppStream screenshot is <this>/docs/screenshots/main-window.png")
# The machine hive's folder is the one compiled into the programs (KIP_LOCALSTATEDIR).
set(KIP_MACHINE_HIVE_DIR "${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/lib/kiplaunch")
set(KIP_MACHINE_HIVE "${KIP_MACHINE_HIVE_DIR}/machine.db")
set(KIP_SYSCONFDIR "${CMAKE_INSTALL_FULL_SYSCONFDIR}")
set(KIP_DATA_OUT "${CMAKE_BINARY_DIR}/data")
set(KIP_ICON_SVG data/icons/hicolor/scalable/apps/${KIP_APP_ID}.svg)

# Files that carry the version or the install paths; manual pages and the changelog are installed
# compressed, as Debian wants them.
configure_file(data/${KIP_APP_ID}.metainfo.xml.in ${KIP_DATA_OUT}/${KIP_APP_ID}.metainfo.xml @ONLY)
configure_file(data/changelog.in ${KIP_DATA_OUT}/changelog @ONLY)
set(KIP_COMPRESSED_DOCS)
foreach(page kipctl kiplaunch)
  configure_file(data/man/${page}.1.in ${KIP_DATA_OUT}/man/${page}.1 @ONLY)
endforeach()
foreach(doc man/kipctl.1 man/kiplaunch.1 changelog)
  add_custom_command(OUTPUT ${KIP_DATA_OUT}/${doc}.gz
    COMMAND gzip -9nkf ${KIP_DATA_OUT}/${doc}
    DEPENDS ${KIP_DATA_OUT}/${doc} VERBATIM)
  list(APPEND KIP_COMPRESSED_DOCS ${KIP_DATA_OUT}/${doc}.gz)
endforeach()
add_custom_target(kip_compressed_docs ALL DEPENDS ${KIP_COMPRESSED_DOCS})

install(FILES ${KIP_DATA_OUT}/man/kipctl.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES data/copyright ${KIP_DATA_OUT}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kiplaunch)

if(KIP_BUILD_UI)
  # The icon inside the program, for the window and the notification icon where the theme has none:
  # QIcon::fromTheme(KIP_APP_ID, QIcon(":/icons/kiplaunch.svg")). Drawing it needs the Qt SVG plugins
  # at run time (Debian libqt6svg6).
  set_source_files_properties(${KIP_ICON_SVG} PROPERTIES QT_RESOURCE_ALIAS kiplaunch.svg)
  qt_add_resources(kip_ui kiplaunch_icons PREFIX /icons FILES ${KIP_ICON_SVG} OUTPUT_TARGETS KIP_ICON_RESOURCE_TARGETS)
  # The resource is an object library that reaches only what links the kip_ui target; the window module
  # links the archive alone, so it takes the resource's objects, which register the icon when it is loaded.
  target_link_libraries(kiplaunch_window PRIVATE ${KIP_ICON_RESOURCE_TARGETS})
  target_compile_definitions(kip_ui PUBLIC KIP_APP_ID="${KIP_APP_ID}")

  install(FILES data/${KIP_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(DIRECTORY data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
  install(FILES ${KIP_DATA_OUT}/${KIP_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${KIP_DATA_OUT}/man/kiplaunch.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The logon entry and the hive folder live outside the prefix for /usr (in /etc and /var), so their
# folders follow the prefix given at install time, as GNUInstallDirs places them.
file(MAKE_DIRECTORY ${KIP_DATA_OUT}/state/kiplaunch)
configure_file(cmake/kip_install_system_files.cmake.in ${CMAKE_BINARY_DIR}/kip_install_system_files.cmake @ONLY)
install(SCRIPT ${CMAKE_BINARY_DIR}/kip_install_system_files.cmake)
