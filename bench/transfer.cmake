# Transfers side by side with vsftpd on loopback: `cmake --build DIR --target bench_transfer`
# runs bench/transfer_bench.py against this build's tarvona-server and /usr/sbin/vsftpd.
add_custom_target(bench_transfer
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/transfer_bench.py ${CMAKE_BINARY_DIR}
  DEPENDS tarvona-server tarvona-admin
  USES_TERMINAL
)
