# Warning and hardening flags applied to every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Woverloaded-virtual)
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

# Release builds use -O2: at -O3 GCC 12 reports -Wrestrict and -Wmaybe-uninitialized
# inside std::string's own inlined code for ordinary assignments, which would hide a
# real warning among false ones.
string(REPLACE "-O3" "-O2" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
string(REPLACE "-O3" "-O2" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
