# Warning and hardening flags applied to every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Woverloaded-virtual -Wconversion -Wold-style-cast)
if(TARVONA_WERROR)
  add_compile_options(-Werror)
endif()
if(NOT TARVONA_SANITIZE)
  add_compile_options(-fstack-protector-strong)
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    add_compile_definitions(_FORTIFY_SOURCE=2)
  endif()
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

# At -O3, GCC 12 reports -Wrestrict and -Wmaybe-uninitialized inside std::string's own
# inlined code for ordinary assignments (GCC bug 105329 and its kin). Optimised builds
# leave those two out; the sanitizer and debug builds, which CI runs with -Werror, keep
# every warning. (-O2 instead would cost the record engine's look-up 60 % of its speed.)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options($<$<CONFIG:Release,RelWithDebInfo>:-Wno-restrict>
                      $<$<CONFIG:Release,RelWithDebInfo>:-Wno-maybe-uninitialized>)
endif()
