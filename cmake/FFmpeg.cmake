# libavcodec with the ATRAC decoders, as the interface target atrac3ds_avcodec.
#   Windows: the static decoders-only build that scripts/ffmpeg makes for each architecture,
#            found under ATRAC3DS_FFMPEG_DIR (include/, lib/libavcodec.a, lib/libavutil.a).
#   Native:  Debian's libavcodec-dev, the same FFmpeg release, for the tests and the fuzzers.
add_library(atrac3ds_avcodec INTERFACE)
if(WIN32)
    set(ATRAC3DS_FFMPEG_DIR "$ENV{ATRAC3DS_FFMPEG_DIR}" CACHE PATH "FFmpeg build for this architecture")
    if(NOT EXISTS "${ATRAC3DS_FFMPEG_DIR}/lib/libavcodec.a")
        message(FATAL_ERROR "No FFmpeg build at '${ATRAC3DS_FFMPEG_DIR}': run scripts/deps")
    endif()
    target_include_directories(atrac3ds_avcodec SYSTEM INTERFACE "${ATRAC3DS_FFMPEG_DIR}/include")
    target_link_libraries(atrac3ds_avcodec INTERFACE
        "${ATRAC3DS_FFMPEG_DIR}/lib/libavcodec.a" "${ATRAC3DS_FFMPEG_DIR}/lib/libavutil.a")
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(ATRAC3DS_LIBAV REQUIRED IMPORTED_TARGET libavcodec libavutil)
    target_link_libraries(atrac3ds_avcodec INTERFACE PkgConfig::ATRAC3DS_LIBAV)
endif()
