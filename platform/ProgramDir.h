// Where the program keeps its data files.
#pragma once

#include <string>

// The directory of the running executable, ending with "/"; empty when unknown.
std::string ExecutableDir();
// Appends "/" unless `dir` already ends with it.
std::string WithTrailingSlash(std::string dir);
// The value of environment variable `name`, or empty.
std::string EnvironmentValue(const char* name);
// True when this process may create files in the directory `dir`.
bool IsWritableDirectory(const std::string& dir);
