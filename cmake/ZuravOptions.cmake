# Compiler settings shared by every target of the project.
add_library(zurav_options INTERFACE)
target_compile_options(zurav_options INTERFACE -Wall -Wextra)
if(ZURAV_WERROR)
    target_compile_options(zurav_options INTERFACE -Werror)
endif()

# Flags that every code including the library's headers needs, not only the library itself: the
# layers and libzurav.so carry them as usage requirements (so the installed CMake package passes
# them on) and the pkg-config file lists them in Cflags.
# The object pool swaps a pointer and a change counter with one 16-byte compare-and-swap, inline
# in common/Atomic.h; -mcx16 lets the compiler emit cmpxchg16b there instead of calling into
# libatomic, and the header refuses to compile without it.
set(ZURAV_USAGE_COMPILE_OPTIONS "")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
    list(APPEND ZURAV_USAGE_COMPILE_OPTIONS -mcx16)
endif()
target_compile_options(zurav_options INTERFACE ${ZURAV_USAGE_COMPILE_OPTIONS})

if(ZURAV_SANITIZE)
    target_compile_options(zurav_options INTERFACE
        -fsanitize=${ZURAV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(zurav_options INTERFACE -fsanitize=${ZURAV_SANITIZE})
endif()
