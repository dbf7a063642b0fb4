# The page advice for large buffers, on QtCore alone: the document format reaches it, and nothing
# else of the platform folder. Read by the platform folder and by the fuzzer's own build.
if(WIN32)
  set(large_buffers_system windows)
else()
  set(large_buffers_system linux)
endif()
add_library(zariza_large_buffers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/large_buffers.h
  ${CMAKE_CURRENT_LIST_DIR}/${large_buffers_system}/large_buffers.cpp
)
target_include_directories(zariza_large_buffers PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zariza_large_buffers PUBLIC Qt6::Core)
