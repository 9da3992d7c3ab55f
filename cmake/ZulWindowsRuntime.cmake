# The Windows build with Qt: the DLLs and plugins the programs load, copied beside them in the
# build's bin/ (so the programs and the tests run there under Wine as they will on a site), and
# the same files in the installation that the Windows installer carries.
#
# Qt looks for plugins in subfolders of the program's folder (platforms/, sqldrivers/, ...).
if(NOT ZUL_MINGW_DEPS)
    message(FATAL_ERROR "The Windows build with Qt needs ZUL_MINGW_DEPS (scripts/mingw-deps.sh)")
endif()

set(ZUL_QT_DLLS Qt6Core Qt6Gui Qt6Widgets Qt6Network Qt6Sql)
set(ZUL_RUNTIME_DLLS libstdc++-6 libgcc_s_seh-1 libwinpthread-1)
set(ZUL_QT_PLUGINS
    platforms/qwindows platforms/qoffscreen
    sqldrivers/qsqlite sqldrivers/qsqlodbc
    styles/qwindowsvistastyle
    imageformats/qico)

set(zul_runtime_files)
set(zul_runtime_outputs)
foreach(dll IN LISTS ZUL_QT_DLLS ZUL_RUNTIME_DLLS)
    list(APPEND zul_runtime_files "${ZUL_MINGW_DEPS}/bin/${dll}.dll")
    list(APPEND zul_runtime_outputs "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dll}.dll")
endforeach()
foreach(plugin IN LISTS ZUL_QT_PLUGINS)
    if(EXISTS "${ZUL_MINGW_DEPS}/plugins/${plugin}.dll")
        list(APPEND zul_runtime_files "${ZUL_MINGW_DEPS}/plugins/${plugin}.dll")
        list(APPEND zul_runtime_outputs "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${plugin}.dll")
    endif()
endforeach()
foreach(file IN LISTS zul_runtime_files)
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "${file} is missing: run scripts/mingw-deps.sh again")
    endif()
endforeach()

set(zul_copy_commands)
foreach(file output IN ZIP_LISTS zul_runtime_files zul_runtime_outputs)
    list(APPEND zul_copy_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different "${file}" "${output}")
endforeach()
add_custom_command(OUTPUT ${zul_runtime_outputs} ${zul_copy_commands}
    DEPENDS ${zul_runtime_files} COMMENT "Copying Qt's DLLs and plugins beside the programs")
add_custom_target(zul_windows_runtime ALL DEPENDS ${zul_runtime_outputs})

# zul_needs_windows_runtime(target...): the runtime is in place before the target runs.
function(zul_needs_windows_runtime)
    foreach(target IN LISTS ARGN)
        add_dependencies(${target} zul_windows_runtime)
    endforeach()
endfunction()

# Installed layout (one folder, as the programs expect): the programs, the DLLs, the plugins in
# their subfolders, the SQL scripts.
foreach(file IN LISTS zul_runtime_files)
    cmake_path(GET file PARENT_PATH dir)
    cmake_path(GET dir FILENAME kind)
    if(kind STREQUAL "bin")
        install(FILES "${file}" DESTINATION . COMPONENT zul_windows)
    else()
        install(FILES "${file}" DESTINATION ${kind} COMPONENT zul_windows)
    endif()
endforeach()
