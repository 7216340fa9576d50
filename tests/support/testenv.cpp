#include "support/testenv.h"

#include <cstdlib>
#include <stdexcept>

namespace kel::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::write(const std::string &name, std::string_view bytes) const
{
    const std::string p = file(name);
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    if (!writeFile(p, bytes))
        throw std::runtime_error("cannot write " + p);
    return p;
}

std::string TempDir::writeSparse(const std::string &name, uint64_t size) const
{
    const std::string p = write(name, "");
    std::filesystem::resize_file(p, size);
    return p;
}

TestEnvironment::TestEnvironment()
{
    folders.program = dir.path() + "/program";
    folders.temp = dir.path() + "/temp";
    folders.tempSub = folders.temp + "/Temp";
    std::filesystem::create_directories(folders.program);
    std::string error;
    if (!prepareTempFolder(folders.temp, error))
        throw std::runtime_error(error);
    for (int n = 0; n < Messages::kCount; ++n)
        messages.set(n, "message " + std::to_string(n));
}

std::string crlf(std::initializer_list<std::string_view> lines)
{
    std::string out;
    for (std::string_view l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

} // namespace kel::test
