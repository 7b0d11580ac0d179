# Warning flags and sanitizer switches shared by every target.
add_library(quenly_warnings INTERFACE)
target_compile_options(quenly_warnings INTERFACE -Wall -Wextra)
# g++ 12 at -O3 reports "literal" + std::string as an overlapping memcpy (GCC bug 105651); the
# warning is wrong, and with -Werror it would stop release builds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(quenly_warnings INTERFACE -Wno-restrict)
endif()
if(QUENLY_WERROR)
    target_compile_options(quenly_warnings INTERFACE -Werror)
endif()

if(QUENLY_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
