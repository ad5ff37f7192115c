# `make package`: two Debian packages built with CPack from the application folder.
#   kestrafon           the client in /opt/kestrafon, the kestrafon command, the desktop entry and
#                       icons, the start at log-on, the udev rules and the uinput module
#   kestrafon-emulator  the emulated device library beside the client, and kestrafon-sim
# Without kestrafon-emulator the client finds no device library: it starts, says so in its
# log and lists no devices. docs/architecture.md ("Installation layout") lists every path.
# `make package` builds the client target first; installing must not build the tests too.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(KF_PKG ${CMAKE_SOURCE_DIR}/packaging)
set(KF_OPT opt/kestrafon)

install(TARGETS kestrafon CrashReporter Updater RUNTIME DESTINATION ${KF_OPT} COMPONENT client)
install(FILES ${KF_APP_DIR}/theme.pak ${KF_APP_DIR}/theme.dat DESTINATION ${KF_OPT} COMPONENT client)
install(FILES ${KF_APP_DIR}/Resources/conf.xml DESTINATION ${KF_OPT}/Resources COMPONENT client)
install(PROGRAMS ${KF_PKG}/bin/kestrafon DESTINATION usr/bin COMPONENT client)
install(FILES ${KF_PKG}/desktop/kestrafon.desktop DESTINATION usr/share/applications COMPONENT client)
install(FILES ${KF_PKG}/desktop/kestrafon-autostart.desktop DESTINATION etc/xdg/autostart
        RENAME kestrafon.desktop COMPONENT client)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${KF_PKG}/icons/kestrafon-${size}.png DESTINATION usr/share/icons/hicolor/${size}x${size}/apps
            RENAME kestrafon.png COMPONENT client)
endforeach()
# Every udev rule file but the group-based alternative, which is an example for systems
# without logind seats.
file(GLOB KF_UDEV_RULES ${KF_PKG}/udev/70-kestrafon-*.rules)
list(FILTER KF_UDEV_RULES EXCLUDE REGEX "-group\\.rules$")
install(FILES ${KF_UDEV_RULES} DESTINATION usr/lib/udev/rules.d COMPONENT client)
install(FILES ${KF_PKG}/udev/70-kestrafon-uinput-group.rules DESTINATION usr/share/doc/kestrafon/examples
        COMPONENT client)
install(FILES ${KF_PKG}/udev/kestrafon-uinput.conf DESTINATION usr/lib/modules-load.d COMPONENT client)
install(FILES ${KF_PKG}/debian/lintian-overrides DESTINATION usr/share/lintian/overrides RENAME kestrafon
        COMPONENT client)
install(FILES ${KF_PKG}/debian/lintian-overrides-emulator DESTINATION usr/share/lintian/overrides
        RENAME kestrafon-emulator COMPONENT emulator)

install(TARGETS UsbInterface LIBRARY DESTINATION ${KF_OPT} COMPONENT emulator)
install(TARGETS kestrafon-sim RUNTIME DESTINATION usr/bin COMPONENT emulator)

# The copyright, the compressed changelog and manual pages every Debian package carries.
set(KF_PKG_OUT ${CMAKE_BINARY_DIR}/packaging)
set(KF_GZIPPED)
foreach(source debian/changelog man/kestrafon.1 man/kestrafon-sim.1)
    get_filename_component(leaf ${source} NAME)
    add_custom_command(OUTPUT ${KF_PKG_OUT}/${leaf}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KF_PKG_OUT}
        COMMAND gzip -9nc ${KF_PKG}/${source} > ${KF_PKG_OUT}/${leaf}.gz
        DEPENDS ${KF_PKG}/${source})
    list(APPEND KF_GZIPPED ${KF_PKG_OUT}/${leaf}.gz)
endforeach()
add_custom_target(package_docs ALL DEPENDS ${KF_GZIPPED})
install(FILES ${KF_PKG_OUT}/kestrafon.1.gz DESTINATION usr/share/man/man1 COMPONENT client)
install(FILES ${KF_PKG_OUT}/kestrafon-sim.1.gz DESTINATION usr/share/man/man1 COMPONENT emulator)
foreach(component client emulator)
    set(name kestrafon)
    if(component STREQUAL "emulator")
        set(name kestrafon-emulator)
    endif()
    install(FILES ${KF_PKG}/debian/copyright ${KF_PKG_OUT}/changelog.gz DESTINATION usr/share/doc/${name}
            COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrafon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestrafon")
set(CPACK_PACKAGE_CONTACT "Kestrafon developers <packages@kestrafon.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL client emulator)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME kestrafon)
set(CPACK_DEBIAN_CLIENT_PACKAGE_CONTROL_EXTRA
    ${KF_PKG}/debian/postinst ${KF_PKG}/debian/postrm ${KF_PKG}/debian/conffiles)
# Not linked, but used when present: a font for the Chinese pages, media decoders for the music
# effects, the keyboard layout switch, and pkexec for an update of this read-only installation.
set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, libqt5multimedia5-plugins, \
gstreamer1.0-plugins-good, gstreamer1.0-plugins-base, x11-xkb-utils, pkexec, udev")
set(CPACK_DEBIAN_EMULATOR_PACKAGE_NAME kestrafon-emulator)
set(CPACK_DEBIAN_EMULATOR_PACKAGE_DEPENDS "kestrafon (= ${PROJECT_VERSION})")
# CPack indents the lines after the first itself.
set(CPACK_COMPONENT_CLIENT_DESCRIPTION "configuration client for Kestrafon mice and keyboards
Sets what each button and key does, DPI stages, lighting, macros and
profiles of Kestrafon USB gaming mice and keyboards, and keeps their
firmware up to date. Every user of the machine may run it at once.")
set(CPACK_COMPONENT_EMULATOR_DESCRIPTION "emulated devices for the Kestrafon client
A device library that emulates two Kestrafon devices, and the
kestrafon-sim tool that plugs, unplugs and inspects them, for trying
the client without a device.")
include(CPack)
