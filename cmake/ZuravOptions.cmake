# Compiler settings shared by every target of the project.
add_library(zurav_options INTERFACE)
target_compile_options(zurav_options INTERFACE -Wall -Wextra)
if(ZURAV_WERROR)
    target_compile_options(zurav_options INTERFACE -Werror)
endif()

# The object pool swaps a pointer and a change counter with one 16-byte compare-and-swap;
# -mcx16 lets the compiler emit cmpxchg16b inline instead of calling into libatomic.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
    target_compile_options(zurav_options INTERFACE -mcx16)
endif()

if(ZURAV_SANITIZE)
    target_compile_options(zurav_options INTERFACE
        -fsanitize=${ZURAV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(zurav_options INTERFACE -fsanitize=${ZURAV_SANITIZE})
endif()
