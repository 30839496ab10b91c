# What `cmake --install` puts under the prefix: libvexa with the headers its host program needs,
# the CMake package and pkg-config file that find them, the two programs and the viewer's desktop
# entry.
include(CMakePackageConfigHelpers)

set(VEXA_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vexa)
# The control and the host services its host hands it; none includes FFmpeg, Cairo or anything
# else left behind.
set(VEXA_PUBLIC_HEADERS
  control/CVexaActiveXCtrl.h control/DVexaActiveX.h control/DispatchTable.h control/ControlHost.h
  platform/AudioInput.h platform/AudioOutput.h platform/Clock.h platform/Dialogs.h
  platform/UiLoop.h)

install(TARGETS vexa_shared EXPORT vexaTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(header IN LISTS VEXA_PUBLIC_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES src/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexa/${folder})
endforeach()

install(EXPORT vexaTargets NAMESPACE vexa:: DESTINATION ${VEXA_PACKAGE_DIR})
configure_package_config_file(cmake/vexaConfig.cmake.in ${PROJECT_BINARY_DIR}/vexaConfig.cmake
  INSTALL_DESTINATION ${VEXA_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vexaConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vexaConfig.cmake ${PROJECT_BINARY_DIR}/vexaConfigVersion.cmake
  DESTINATION ${VEXA_PACKAGE_DIR})

# Paths relative to the file itself, so that `cmake --install --prefix` may put it anywhere.
file(RELATIVE_PATH VEXA_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VEXA_PC_TO_PREFIX ${VEXA_PC_TO_PREFIX})
configure_file(cmake/vexa.pc.in ${PROJECT_BINARY_DIR}/vexa.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vexa.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS vexa-viewer vexa-camera RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES apps/viewer/vexa-viewer.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
