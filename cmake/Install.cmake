# What `cmake --install` puts under the prefix: the two programs, and for the desktop the
# launcher entry, the document type, the icons in the hicolor theme and the AppStream record.
include(GNUInstallDirs)

install(TARGETS zepho-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET zepho)
  install(TARGETS zepho RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(_data ${CMAKE_SOURCE_DIR}/data)
install(FILES ${_data}/zepho.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_data}/zepho-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME zepho.xml)
install(FILES ${_data}/io.zepho.zepho.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_data}/icons/zepho.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${_data}/icons/hicolor/${size}x${size}/apps/zepho.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
