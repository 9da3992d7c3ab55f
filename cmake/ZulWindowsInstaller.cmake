# The Windows installer (NSIS, built on Linux with Debian's makensis): the manager, zul-admin,
# Qt's DLLs and plugins, the SQL scripts, and a choice to install the manager as the service.
# `cmake --build --preset mingw --target zul_installer` writes build-mingw/zul-<version>-setup.exe.
# The stand-in device library is never packed: a site puts the vendor's EasyInner.dll beside
# zul.exe.
install(TARGETS zul zul-admin RUNTIME DESTINATION . COMPONENT zul_windows)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/sql/ DESTINATION sql COMPONENT zul_windows)

find_program(ZUL_MAKENSIS makensis)
if(NOT ZUL_MAKENSIS)
    message(STATUS "makensis not found: no Windows installer (Debian package nsis)")
    return()
endif()

set(ZUL_INSTALLER ${CMAKE_BINARY_DIR}/zul-${PROJECT_VERSION}-setup.exe)
set(zul_stage ${CMAKE_BINARY_DIR}/installer-stage)
add_custom_target(zul_installer
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${zul_stage}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --component zul_windows --prefix ${zul_stage}
    COMMAND ${ZUL_MAKENSIS} -V2 -NOCD -DVERSION=${PROJECT_VERSION} -DSTAGE=${zul_stage}
            -DOUTFILE=${ZUL_INSTALLER} ${PROJECT_SOURCE_DIR}/cmake/zul-installer.nsi
    BYPRODUCTS ${ZUL_INSTALLER}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Windows installer ${ZUL_INSTALLER}"
    VERBATIM)
add_dependencies(zul_installer zul zul-admin zul_windows_runtime)
