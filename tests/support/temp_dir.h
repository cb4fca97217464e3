#pragma once

#include <string>
#include <string_view>

namespace vz::test {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the owner goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name
    std::string file(std::string_view name) const;
    // Writes a file under the folder (making its folders) and returns its path.
    std::string write(std::string_view name, std::string_view content) const;
    // Makes a sub-folder and returns its path.
    std::string mkdir(std::string_view name) const;

private:
    std::string m_path;
};

// Reads a whole file; empty when it cannot be read.
std::string readAll(const std::string& path);

} // namespace vz::test
