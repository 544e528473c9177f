# The window's cost against tarvona-server: `cmake --build DIR --target bench_window`
# (needs TARVONA_UI=ON) runs bench/window_bench.py against this build's binaries.
if(TARVONA_UI)
  add_custom_target(bench_window
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/window_bench.py ${CMAKE_BINARY_DIR}
    DEPENDS tarvona tarvona-server tarvona-admin
    USES_TERMINAL
  )
endif()
