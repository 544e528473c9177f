# The account store: schema, reading, editing and the expiry check over the record engine.
add_library(accounts STATIC
  AccountSchema.cpp
  AccountStore.cpp
  AccountEditor.cpp
  ExpiryCheck.cpp
  FieldAccess.cpp
  PasswordCheck.cpp
  PermissionText.cpp
  RecordAccess.cpp
  TableModes.cpp
)
target_link_libraries(accounts PUBLIC db)
