# Compiler options shared by every target of the project. Targets link
# sealvane_options PRIVATE so that the flags never leak into consumers.
add_library(sealvane_options INTERFACE)
target_compile_options(sealvane_options INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align -Wformat=2
  -fstack-protector-strong
  # Thread-local variables in the dlopen'ed cipher library live in static
  # TLS: no lazily allocated TLS blocks, which LeakSanitizer cannot walk.
  -ftls-model=initial-exec)
target_link_options(sealvane_options INTERFACE -Wl,-z,relro,-z,now)

# Warnings are errors in the developers' and CI's presets only: a user's
# build with another compiler or other flags must not break on a new warning.
if(SEALVANE_WERROR)
  target_compile_options(sealvane_options INTERFACE -Werror)
endif()

# _FORTIFY_SOURCE needs optimisation; glibc warns without it. A level the
# user or the distribution already chose (CPPFLAGS, CMAKE_CXX_FLAGS) wins.
set(_sealvane_user_flags "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS} $ENV{CPPFLAGS} $ENV{CFLAGS} $ENV{CXXFLAGS}")
foreach(_config DEBUG RELEASE RELWITHDEBINFO MINSIZEREL)
  string(APPEND _sealvane_user_flags " ${CMAKE_CXX_FLAGS_${_config}}")
endforeach()
if(NOT _sealvane_user_flags MATCHES "_FORTIFY_SOURCE")
  target_compile_definitions(sealvane_options INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()

if(SEALVANE_FUZZ)
  # Everything the fuzz targets reach is instrumented for coverage.
  target_compile_options(sealvane_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(sealvane_options INTERFACE -fsanitize=address,undefined)
endif()

if(SEALVANE_SANITIZE)
  target_compile_options(sealvane_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(sealvane_options INTERFACE -fsanitize=address,undefined)
  target_compile_definitions(sealvane_options INTERFACE _GLIBCXX_ASSERTIONS)
endif()

if(SEALVANE_TSAN)
  target_compile_options(sealvane_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(sealvane_options INTERFACE -fsanitize=thread)
endif()
