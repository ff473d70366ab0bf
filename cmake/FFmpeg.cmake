# libavcodec with the ATRAC decoders, as the interface target atrac3ds_avcodec.
#   Windows: the static decoders-only build that scripts/ffmpeg makes for each architecture,
#            found under ATRAC3DS_FFMPEG_DIR (include/, lib/libavcodec.a, lib/libavutil.a).
#   Native:  Debian's libavcodec-dev, the same FFmpeg release, for the tests and the fuzzers.
add_library(atrac3ds_avcodec INTERFACE)
if(WIN32)
    # Empty: the build that scripts/ffmpeg last made for this toolchain's architecture, named in
    # build/ffmpeg/<arch>.dir. Not cached, so a new package version is picked up on reconfigure.
    set(ATRAC3DS_FFMPEG_DIR "$ENV{ATRAC3DS_FFMPEG_DIR}" CACHE PATH "FFmpeg build for this architecture (empty: scripts/ffmpeg's)")
    set(atrac3ds_ffmpeg_dir "${ATRAC3DS_FFMPEG_DIR}")
    if(NOT atrac3ds_ffmpeg_dir)
        set(atrac3ds_ffmpeg_pointer "${CMAKE_SOURCE_DIR}/build/ffmpeg/${CMAKE_SYSTEM_PROCESSOR}.dir")
        if(EXISTS "${atrac3ds_ffmpeg_pointer}")
            file(STRINGS "${atrac3ds_ffmpeg_pointer}" atrac3ds_ffmpeg_dir LIMIT_COUNT 1)
            set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${atrac3ds_ffmpeg_pointer}")
        endif()
    endif()
    if(NOT EXISTS "${atrac3ds_ffmpeg_dir}/lib/libavcodec.a" OR NOT EXISTS "${atrac3ds_ffmpeg_dir}/.stamp")
        message(FATAL_ERROR "No FFmpeg build for ${CMAKE_SYSTEM_PROCESSOR} at '${atrac3ds_ffmpeg_dir}': run scripts/deps")
    endif()
    message(STATUS "FFmpeg for ${CMAKE_SYSTEM_PROCESSOR}: ${atrac3ds_ffmpeg_dir}")
    target_include_directories(atrac3ds_avcodec SYSTEM INTERFACE "${atrac3ds_ffmpeg_dir}/include")
    # libavcodec before libavutil: a static link resolves left to right.
    target_link_libraries(atrac3ds_avcodec INTERFACE
        "${atrac3ds_ffmpeg_dir}/lib/libavcodec.a" "${atrac3ds_ffmpeg_dir}/lib/libavutil.a")
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(ATRAC3DS_LIBAV REQUIRED IMPORTED_TARGET libavcodec libavutil)
    target_link_libraries(atrac3ds_avcodec INTERFACE PkgConfig::ATRAC3DS_LIBAV)
endif()
