# Installation and the Debian package (cpack -G DEB in the build tree).
include(GNUInstallDirs)

foreach(tool tivaro tivaro-sim tivaro-decode tivaro-replay tivaro-make-workbook)
    if(TARGET ${tool})
        install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/examples/demo-race.xlsx
              ${PROJECT_SOURCE_DIR}/examples/race-capture.bin
              ${PROJECT_SOURCE_DIR}/examples/race-capture-older.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tivaro/examples)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tivaro.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tivaro.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tivaro)
set(CPACK_PACKAGE_VENDOR "Tivaro")
set(CPACK_PACKAGE_CONTACT "Tivaro developers <tivaro@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Race timing between a transponder decoder and a race workbook")
set(CPACK_PACKAGE_DESCRIPTION
    "Tivaro times training and test races in skating, running and cycling. It reads\n\
passings from a transponder decoder (serial line or TCP), names them by race phase and\n\
lap, writes them into the organisers' race workbook and logs them. Includes the decoder\n\
simulator tivaro-sim, tivaro-decode and tivaro-replay.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The workbook opens without an office suite; LibreOffice Calc adds its live mode.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libreoffice-calc")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
