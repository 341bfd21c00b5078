# Every outside library the project builds against, found once here.
find_package(Threads REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Svg Test)
find_package(PkgConfig REQUIRED)

pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(SAMPLERATE REQUIRED IMPORTED_TARGET samplerate)
pkg_check_modules(RTAUDIO REQUIRED IMPORTED_TARGET rtaudio)
pkg_check_modules(RTMIDI REQUIRED IMPORTED_TARGET rtmidi)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(JACK REQUIRED IMPORTED_TARGET jack)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswresample)
pkg_check_modules(LILV REQUIRED IMPORTED_TARGET lilv-0)
pkg_check_modules(AVAHI REQUIRED IMPORTED_TARGET avahi-client)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
pkg_check_modules(XKBCOMMON_X11 REQUIRED IMPORTED_TARGET xkbcommon-x11)

# libb64 ships no pkg-config file.
find_library(B64_LIBRARY NAMES b64 REQUIRED)
find_path(B64_INCLUDE_DIR NAMES b64/cdecode.h REQUIRED)
add_library(b64 INTERFACE IMPORTED)
target_link_libraries(b64 INTERFACE ${B64_LIBRARY})
target_include_directories(b64 INTERFACE ${B64_INCLUDE_DIR})

# The benchmarks that start JACK servers use the tests' support library, which needs it.
if(CLIPDECK_TESTS OR CLIPDECK_BENCHMARKS)
  find_package(GTest REQUIRED)
endif()
if(CLIPDECK_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
