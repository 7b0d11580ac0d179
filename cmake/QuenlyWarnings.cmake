# Warning flags and sanitizer switches shared by every target.
add_library(quenly_warnings INTERFACE)
target_compile_options(quenly_warnings INTERFACE -Wall -Wextra)
if(QUENLY_WERROR)
    target_compile_options(quenly_warnings INTERFACE -Werror)
endif()

if(QUENLY_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
