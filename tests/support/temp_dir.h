// A temporary directory for one test, removed with everything in it when the object goes, and
// what a test reads back from the disk.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace quenly::test {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quenly-test-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) {
            throw std::runtime_error("cannot create a temporary directory");
        }
        m_path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        // Give back write permission that a test may have taken away, so removal works.
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

/// The names in folder `dir`, sorted.
inline std::vector<std::string> entriesOf(const std::filesystem::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        out.push_back(e.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

/// The bytes of file `file` ("" when it cannot be read).
inline std::string contentsOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// The folder of committed test data (tests/data), from QUENLY_TEST_DATA.
inline std::filesystem::path testDataDir() {
    const char* dir = std::getenv("QUENLY_TEST_DATA");
    return dir ? std::filesystem::path(dir) : std::filesystem::path("tests/data");
}

} // namespace quenly::test
