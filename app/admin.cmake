# tarvona-admin: the command-line administration tool.
add_executable(tarvona-admin AdminMain.cpp AdminArgs.cpp AdminUserCommands.cpp AdminGroupCommands.cpp
  AdminFolderCommands.cpp ProgramDirChoice.cpp)
target_link_libraries(tarvona-admin PRIVATE dbtool accounts)
