# The platform's part on QtCore alone, which the document format reaches and nothing else of the
# platform folder: the page advice for large buffers and the legacy encodings' converters. Read by
# the platform folder and by the fuzzer's own build.
if(WIN32)
  set(platform_core_system windows)
else()
  set(platform_core_system linux)
endif()
add_library(zariza_platform_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/large_buffers.h
  ${CMAKE_CURRENT_LIST_DIR}/${platform_core_system}/large_buffers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_converters.h
  ${CMAKE_CURRENT_LIST_DIR}/${platform_core_system}/page_converters.cpp
)
target_include_directories(zariza_platform_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zariza_platform_core PUBLIC Qt6::Core)
