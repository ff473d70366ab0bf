# The OMA stream and its decoders over libavcodec: pure code that the engine's source filter
# serves and the native tests and fuzzers drive. Included from the top CMakeLists.txt after
# cmake/FFmpeg.cmake, which defines atrac3ds_avcodec.
add_library(atrac3ds_decode STATIC
    ${CMAKE_CURRENT_LIST_DIR}/AtracDecoder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AtracDecoder.h
    ${CMAKE_CURRENT_LIST_DIR}/ByteStream.h
    ${CMAKE_CURRENT_LIST_DIR}/OmaStream.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OmaStream.h
)
target_include_directories(atrac3ds_decode PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(atrac3ds_decode PUBLIC atrac3ds_core atrac3ds_avcodec)
atrac3ds_strict(atrac3ds_decode)

if(NOT WIN32)
    # Files through stdio for the tests and tools; the Windows side reads through a handle.
    target_sources(atrac3ds_decode PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/StdioFileBytes.cpp
        ${CMAKE_CURRENT_LIST_DIR}/StdioFileBytes.h
    )
endif()
