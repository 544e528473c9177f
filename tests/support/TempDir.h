// A private temporary directory for one test, removed with everything in it at the end.
#pragma once
#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory, without a trailing slash.
    const std::string& Path() const { return m_path; }
    // `name` inside the directory.
    std::string Path(const std::string& name) const { return m_path + "/" + name; }
    // The directory with a trailing slash, as the program directory is written.
    std::string ProgramDir() const { return m_path + "/"; }

private:
    std::string m_path;
};

// Writes `bytes` to `path`, replacing it. Fails the current test when it cannot.
void WriteFile(const std::string& path, const std::string& bytes);
// The whole file, or an empty text when it cannot be read.
std::string ReadFile(const std::string& path);
