# Compiler settings shared by every target of the project: link zul_settings and nothing else.
add_library(zul_settings INTERFACE)
target_compile_features(zul_settings INTERFACE cxx_std_20)

if(MSVC)
    target_compile_options(zul_settings INTERFACE /W4 /utf-8)
    if(ZUL_WARNINGS_AS_ERRORS)
        target_compile_options(zul_settings INTERFACE /WX)
    endif()
else()
    target_compile_options(zul_settings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
        -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough)
    if(ZUL_WARNINGS_AS_ERRORS)
        target_compile_options(zul_settings INTERFACE -Werror)
    endif()
endif()

if(WIN32)
    # Wide-character Windows calls, as Qt's headers declare them; the platform layer names the
    # byte-string (A) calls it uses explicitly.
    target_compile_definitions(zul_settings INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0601)
endif()

# Qt strictness: no silent conversions between byte strings and QString (texts cross the
# Windows-1252 boundaries only through the converter in support/), typed connects only.
target_compile_definitions(zul_settings INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING QT_USE_QSTRINGBUILDER QT_NO_CONTEXTLESS_CONNECT
    QT_NO_KEYWORDS QT_DISABLE_DEPRECATED_UP_TO=0x060400)
