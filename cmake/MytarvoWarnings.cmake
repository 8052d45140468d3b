# Warning and sanitizer flags shared by every target of the project.
add_library(mytarvo_warnings INTERFACE)
target_compile_options(mytarvo_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(MYTARVO_WERROR)
  target_compile_options(mytarvo_warnings INTERFACE -Werror)
endif()

if(MYTARVO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
