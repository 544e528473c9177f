# Server core: control-channel round trip, session rate and memory per idle session.
# The loopback helpers of the tests are compiled in (this build has no test tree).
add_executable(bench_server
  ${CMAKE_CURRENT_LIST_DIR}/ServerBench.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/ServerHarness.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/RecordingSink.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/RawFtpClient.cpp
)
target_link_libraries(bench_server PRIVATE core benchmark::benchmark)
