# Included as CMAKE_PROJECT_INCLUDE by `make test-sanitize`: every target is built with
# AddressSanitizer (which brings LeakSanitizer) and UndefinedBehaviorSanitizer. Undefined behaviour
# is not recovered from, so any report fails the test that caused it.
add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
# The instrumented code changes GCC's flow analysis, which can then warn of what it cannot follow;
# the warnings are still shown, the ordinary build fails on them.
set(ZARIZA_WARNINGS_AS_ERRORS OFF)
