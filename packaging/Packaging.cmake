# Install rules beyond the programs, and the Debian package that
# `cmake --build <dir> --target package` (or scripts/package.sh) makes.
# Included from the root CMakeLists after the programs' own install rules.

set(CORVANE_PACKAGE_MAINTAINER "Corvane Messenger maintainers <maintainers@corvane.invalid>"
    CACHE STRING "Maintainer field of the Debian package: name <address>")
set(corvane_packaging ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(corvane_generated ${CMAKE_BINARY_DIR}/packaging)

# Manual pages, compressed as Debian wants them (-n: no name or time inside,
# so the package builds the same every time).
find_program(CORVANE_GZIP gzip REQUIRED)
set(corvane_man_pages corvane corvane-elevated-writer)
if(CORVANE_DESKTOP)
    list(APPEND corvane_man_pages corvane-messenger)
endif()
set(corvane_man_outputs)
foreach(page IN LISTS corvane_man_pages)
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${page}.1)
    set(output ${corvane_generated}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${corvane_generated}/man
        COMMAND ${CORVANE_GZIP} -n -9 -c ${source} > ${output}
        DEPENDS ${source})
    list(APPEND corvane_man_outputs ${output})
endforeach()

configure_file(${corvane_packaging}/changelog.in ${corvane_generated}/changelog @ONLY)
add_custom_command(OUTPUT ${corvane_generated}/changelog.gz
    COMMAND ${CORVANE_GZIP} -n -9 -c ${corvane_generated}/changelog > ${corvane_generated}/changelog.gz
    DEPENDS ${corvane_generated}/changelog)
add_custom_target(corvane_packaging_files ALL
    DEPENDS ${corvane_man_outputs} ${corvane_generated}/changelog.gz)

install(FILES ${corvane_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${corvane_packaging}/copyright ${corvane_generated}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The polkit action names the helper by its installed path, which is known
# only at install time (cpack installs under its own prefix).
install(CODE "
    file(READ \"${corvane_packaging}/corvane-elevated-writer.policy.in\" policy)
    string(REPLACE \"@CORVANE_ELEVATED_WRITER_PATH@\"
        \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/corvane-elevated-writer\" policy \"\${policy}\")
    file(WRITE \"${corvane_generated}/net.corvane.messenger.elevated-writer.policy\" \"\${policy}\")
    file(INSTALL \"${corvane_generated}/net.corvane.messenger.elevated-writer.policy\"
        DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/polkit-1/actions\"
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
")

install(FILES ${corvane_packaging}/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME corvane)

# A stripped install (cpack) also drops the compiler's .comment and .note
# sections, as Debian's own packaging does.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(program corvane corvane-elevated-writer corvane-messenger)
            set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
            if(EXISTS \"\${file}\")
                execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                    --remove-section=.note \"\${file}\" COMMAND_ERROR_IS_FATAL ANY)
            endif()
        endforeach()
    endif()
")

if(CORVANE_DESKTOP)
    install(FILES ${corvane_packaging}/net.corvane.messenger.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${CORVANE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "instant messenger for the local network")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CORVANE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# cpack puts the summary above this text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Corvane Messenger sends short texts to a user, a computer, or every station
of a workgroup on the local network, without a server. It speaks the classic
Windows messenger protocol: NetBIOS sessions carrying the SMB messaging
commands, and workgroup broadcasts as mailslot datagrams.
.
The package holds the desktop program corvane-messenger (a tray icon with
message popups, a write window and a searchable archive) and the
command-line tool corvane (listen, send, ping, search, history, export).
Both get the capability to open the NetBIOS ports 137-139 as a normal user.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap for the postinst; pkexec for the machine-wide settings.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${corvane_packaging}/postinst ${corvane_packaging}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
