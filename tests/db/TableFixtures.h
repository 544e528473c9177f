// Table builders and byte patchers shared by the record engine tests.
#pragma once
#include <cstdint>
#include <string>

#include "db/KorvTable.h"

// Defines the virtual-folder schema (16 fields, keys "id" and "name") on a fresh table.
void DefineFolderSchema(CKorvTable& t);
// Creates `path` with the folder schema and appends `rows` rows named "folder%05d".
void WriteFolderTable(const std::string& path, int rows);
// Appends one folder row; returns Append's result.
bool AppendFolder(CKorvTable& t, const std::string& name, const std::string& dir = "/srv");

std::int32_t ReadI32At(const std::string& path, std::size_t offset);
std::int16_t ReadI16At(const std::string& path, std::size_t offset);
void PatchI32(const std::string& path, std::size_t offset, std::int32_t value);
void PatchI16(const std::string& path, std::size_t offset, std::int16_t value);
void TruncateFile(const std::string& path, std::size_t size);
std::size_t FileSize(const std::string& path);
// Runs the table checker and returns its exit status (0 clean, 1 problems).
int CheckTable(const std::string& path, std::string* report = nullptr);
