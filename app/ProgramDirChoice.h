// Which directory holds the data files: shared by every binary.
#pragma once

#include <string>

// The program directory, ending with "/": `optionDir` when given, else
// $TARVONA_HOME, else the executable's directory.
std::string ChooseProgramDir(const std::string& optionDir);
