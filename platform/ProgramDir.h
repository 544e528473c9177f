// Where the program keeps its data files.
#pragma once

#include <string>

// The directory of the running executable, ending with "/"; empty when unknown.
std::string ExecutableDir();
// Appends "/" unless `dir` already ends with it.
std::string WithTrailingSlash(std::string dir);
// The value of environment variable `name`, or empty.
std::string EnvironmentValue(const char* name);
// The user's configuration directory: $XDG_CONFIG_HOME when that is an absolute path,
// else $HOME/.config; empty when HOME is not set either.
std::string UserConfigDir();
// True when this process may create files in the directory `dir`.
bool IsWritableDirectory(const std::string& dir);
