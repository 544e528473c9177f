# Logins per second (connect, USER, PASS, QUIT) against 10 000 accounts, side by side
# with Debian's vsftpd started by the benchmark on loopback.
add_executable(bench_login
  ${CMAKE_CURRENT_LIST_DIR}/LoginBench.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/ServerHarness.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/RecordingSink.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/RawFtpClient.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/ChildProcess.cpp
)
target_link_libraries(bench_login PRIVATE core benchmark::benchmark)
