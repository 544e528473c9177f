# Table dump and check, used by tarvona-admin's "db" command and the tests.
add_library(dbtool STATIC
  ${CMAKE_CURRENT_LIST_DIR}/DbTool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TableCheck.cpp
)
target_link_libraries(dbtool PUBLIC db)
