# Every target of every folder is compiled with -Wall -Wextra, and a warning fails the build. It is
# applied once all folders are read, so a target added anywhere later is covered too. Left out:
# -Wmissing-field-initializers, which GCC 12 raises for every designated initializer that names
# only some fields, the way the test tables give each row just what differs from the defaults.
option(ZARIZA_WARNINGS_AS_ERRORS "Fail the build on a compiler warning" ON)

function(zariza_warn_in directory)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY)$")
      target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-missing-field-initializers
                             $<$<BOOL:${ZARIZA_WARNINGS_AS_ERRORS}>:-Werror>)
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    zariza_warn_in(${subdirectory})
  endforeach()
endfunction()

cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL zariza_warn_in ${CMAKE_SOURCE_DIR})
