#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace vz::test {

TempDir::TempDir()
{
    std::string base = std::filesystem::temp_directory_path().string() + "/vz-test-XXXXXX";
    if (!::mkdtemp(base.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = base;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Make read-only sub-folders removable again before removing them.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec); !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::file(std::string_view name) const
{
    return m_path + "/" + std::string(name);
}

std::string TempDir::write(std::string_view name, std::string_view content) const
{
    std::string p = file(name);
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return p;
}

std::string TempDir::mkdir(std::string_view name) const
{
    std::string p = file(name);
    std::filesystem::create_directories(p);
    return p;
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace vz::test
