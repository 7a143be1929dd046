# How Lumo is installed and packaged. `cmake --install` lays the program out under the prefix as the
# build tree has it under build/program (the suite folder), with the platform layers in a private
# library folder, the `lumo` command, the desktop entry, the icons, the AppStream data, the
# machine registry under /etc, and the Debian package's documents. `cpack -G DEB` packages it.
include_guard(GLOBAL)
include(GNUInstallDirs)
include(${PROJECT_SOURCE_DIR}/cmake/LumoResources.cmake)

set(LUMO_APP_ID net.ternshield.Lumo)
# The window's class when the program is started as `lumo` (the toolkit takes it from the command's name).
set(LUMO_WINDOW_CLASS Lumo)
set(LUMO_MAINTAINER "Ternshield Lumo Team <lumo@ternshield.example>")

# Install layout, relative to the prefix.
set(LUMO_INSTALL_SUITE_DIR ${CMAKE_INSTALL_LIBDIR}/lumo)
if(CMAKE_INSTALL_LIBDIR MATCHES "/")
    # A multiarch libdir would put the suite folder one level deeper than the package expects.
    set(LUMO_INSTALL_SUITE_DIR lib/lumo)
endif()
set(LUMO_INSTALL_SHARED_SUITE_DIR ${LUMO_INSTALL_SUITE_DIR}/watchcore)
set(LUMO_INSTALL_PROGRAM_DIR ${LUMO_INSTALL_SHARED_SUITE_DIR}/CameraProtect)
set(LUMO_INSTALL_LIBRARY_DIR ${LUMO_INSTALL_SUITE_DIR}/lib)
# The machine registry is read from /etc/lumo/registry whatever the prefix.
set(LUMO_INSTALL_REGISTRY_DIR /etc/lumo/registry)

set(LUMO_SIGNED_BY_DEVELOPMENT_KEY OFF)
if(NOT LUMO_SIGNING_KEY)
    set(LUMO_SIGNED_BY_DEVELOPMENT_KEY ON)
    message(STATUS "Lumo: no LUMO_SIGNING_KEY given; the suite's files are signed with the build's development key, "
                   "and an installed program trusts only files signed with that key")
endif()

# Every file is found relative to where it is: the private libraries beside each other, and each
# program or plug-in reaching them from its own folder.
get_property(lumo_shared_libraries GLOBAL PROPERTY LUMO_SHARED_LIBRARIES)
foreach(library IN LISTS lumo_shared_libraries)
    set_target_properties(${library} PROPERTIES INSTALL_RPATH "$ORIGIN")
endforeach()
install(TARGETS ${lumo_shared_libraries} LIBRARY DESTINATION ${LUMO_INSTALL_LIBRARY_DIR}
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set_target_properties(TernCamlet Facet TernCommon TernLensward PROPERTIES INSTALL_RPATH "$ORIGIN/../../lib")
set_target_properties(I18N PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
set_target_properties(lumo_shell_explorer PROPERTIES INSTALL_RPATH "$ORIGIN/../../../lib")

# lumo_install_signed(TARGET DESTINATION [RENAME]): installs a suite file and signs the installed
# bytes, which differ from the built ones once the install has set the file's library path.
function(lumo_install_signed target destination)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
        install(TARGETS ${target} RUNTIME DESTINATION ${destination})
    else()
        install(TARGETS ${target} LIBRARY DESTINATION ${destination}
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()
    install(CODE "
        set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/$<TARGET_FILE_NAME:${target}>\")
        execute_process(COMMAND \"$<TARGET_FILE:lumo-sign>\" sign \"${LUMO_SIGNING_SECRET_KEY}\" \"\${file}\"
            RESULT_VARIABLE signed)
        if(NOT signed EQUAL 0)
            message(FATAL_ERROR \"cannot sign \${file}\")
        endif()
        file(CHMOD \"\${file}.sig\" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
        message(STATUS \"Signed: \${file}.sig\")")
endfunction()

install(TARGETS TernCamlet RUNTIME DESTINATION ${LUMO_INSTALL_PROGRAM_DIR})
lumo_install_signed(Facet ${LUMO_INSTALL_PROGRAM_DIR})
lumo_install_signed(TernCommon ${LUMO_INSTALL_PROGRAM_DIR})
lumo_install_signed(TernLensward ${LUMO_INSTALL_PROGRAM_DIR})
lumo_install_signed(I18N ${LUMO_INSTALL_SHARED_SUITE_DIR})
lumo_install_signed(lumo_language_zh_cn ${LUMO_INSTALL_SHARED_SUITE_DIR}/zh_CN)
lumo_install_signed(Dizivevivu ${LUMO_INSTALL_SUITE_DIR})
install(DIRECTORY ${LUMO_PROGRAM_DIR}/config DESTINATION ${LUMO_INSTALL_PROGRAM_DIR}
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(TARGETS lumo_shell_explorer RUNTIME DESTINATION ${LUMO_INSTALL_PROGRAM_DIR}/shell)
install(DIRECTORY DESTINATION ${LUMO_INSTALL_PROGRAM_DIR}/shell/system)

# The command on the PATH: a link to the program, which finds its files from its own real path.
set(packaging_dir ${PROJECT_BINARY_DIR}/packaging)
file(RELATIVE_PATH link_target /usr/${CMAKE_INSTALL_BINDIR} /usr/${LUMO_INSTALL_PROGRAM_DIR}/TernCamlet)
file(MAKE_DIRECTORY ${packaging_dir})
file(CREATE_LINK ${link_target} ${packaging_dir}/lumo SYMBOLIC)
install(FILES ${packaging_dir}/lumo DESTINATION ${CMAKE_INSTALL_BINDIR})

# The machine registry: the App Paths "Path" names the installed suite folder.
set(LUMO_REGISTRY_SUITE_DIR ${CMAKE_INSTALL_PREFIX}/${LUMO_INSTALL_SUITE_DIR})
configure_file(${PROJECT_SOURCE_DIR}/packaging/machine.reg.in ${packaging_dir}/machine.reg @ONLY)
install(FILES ${packaging_dir}/machine.reg DESTINATION ${LUMO_INSTALL_REGISTRY_DIR})

# Desktop entry, AppStream data and icons.
string(TIMESTAMP LUMO_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/${LUMO_APP_ID}.desktop.in ${packaging_dir}/${LUMO_APP_ID}.desktop @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/${LUMO_APP_ID}.metainfo.xml.in ${packaging_dir}/${LUMO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${packaging_dir}/${LUMO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_dir}/${LUMO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(LUMO_RENDERED_PICTURES)
foreach(size 16 22 24 32 48 64 128 256)
    set(source ${PROJECT_SOURCE_DIR}/resources/pictures/icon.svg)
    if(size LESS 32)
        set(source ${PROJECT_SOURCE_DIR}/resources/pictures/icon-small.svg)
    endif()
    set(png ${packaging_dir}/icons/hicolor/${size}x${size}/apps/${LUMO_APP_ID}.png)
    lumo_render_svg(SOURCE ${source} OUTPUT ${png} WIDTH ${size} HEIGHT ${size})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/pictures/icon.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${LUMO_APP_ID}.svg)
# The program's own picture beside it: the icon of the camera item's desktop entry.
lumo_render_svg(SOURCE ${PROJECT_SOURCE_DIR}/resources/pictures/icon.svg OUTPUT ${LUMO_PROGRAM_DIR}/TernCamlet.png
    WIDTH 128 HEIGHT 128)
install(FILES ${LUMO_PROGRAM_DIR}/TernCamlet.png DESTINATION ${LUMO_INSTALL_PROGRAM_DIR})
add_custom_target(lumo_desktop_files ALL DEPENDS ${LUMO_RENDERED_PICTURES})

# The package's documents.
string(TIMESTAMP LUMO_COPYRIGHT_YEAR "%Y" UTC)
string(TIMESTAMP LUMO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${packaging_dir}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${packaging_dir}/changelog @ONLY)
add_custom_command(OUTPUT ${packaging_dir}/changelog.gz
    COMMAND gzip -9nkf ${packaging_dir}/changelog
    DEPENDS ${packaging_dir}/changelog
    VERBATIM)
add_custom_target(lumo_package_documents ALL DEPENDS ${packaging_dir}/changelog.gz)
install(FILES ${packaging_dir}/copyright ${packaging_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumo)
add_custom_command(OUTPUT ${packaging_dir}/lumo.1.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/lumo.1 > ${packaging_dir}/lumo.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/lumo.1)
add_custom_target(lumo_manual_page ALL DEPENDS ${packaging_dir}/lumo.1.gz)
install(FILES ${packaging_dir}/lumo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Ternshield)
set(CPACK_PACKAGE_CONTACT ${LUMO_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LUMO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://ternshield.example/lumo)
# CPack indents the lines after the summary and marks empty ones as paragraph breaks.
set(description "webcam viewer: photos and videos of your camera
Lumo shows the live picture of a webcam in one skinned window. It takes
photos at once or after a countdown, records videos with sound, keeps the
captures of the session in a thumbnail strip, and switches between cameras,
resolutions and full screen. Photos are saved as JPEG, videos as WMV.")
if(LUMO_SIGNED_BY_DEVELOPMENT_KEY)
    string(APPEND description "

This package was built without the vendor's signing key: its suite files are
signed with a development key made by the build.")
endif()
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION ${description})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The media plug-ins the program builds its graphs from; sound servers as the desktop has them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-x")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-pipewire, gstreamer1.0-pulseaudio, xdg-utils")
configure_file(${PROJECT_SOURCE_DIR}/packaging/conffiles.in ${packaging_dir}/conffiles @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging_dir}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Stripped as they are installed, so the suite files are signed as they are shipped.
set(CPACK_STRIP_FILES ON)
if(LUMO_SIGNED_BY_DEVELOPMENT_KEY)
    # Said again when the package is made, where a release manager looks.
    file(WRITE ${packaging_dir}/CPackOptions.cmake
        "message(WARNING \"Lumo: this package is signed with the build's development key, not the vendor's (LUMO_SIGNING_KEY)\")\n")
else()
    file(WRITE ${packaging_dir}/CPackOptions.cmake "")
endif()
set(CPACK_PROJECT_CONFIG_FILE ${packaging_dir}/CPackOptions.cmake)
include(CPack)
