#include "transfer/workfiles.h"

#include <atomic>
#include <filesystem>
#include <unistd.h>

namespace kel {
namespace {
constexpr std::string_view kPrefix = "~kel-";
constexpr std::string_view kSuffix = ".part";
} // namespace

bool isPlainFileName(std::string_view name)
{
    if (name.empty() || name.front() == '.' || name.find_first_of("/\\") != std::string_view::npos)
        return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 32 || c == '\x7f')
            return false;
    }
    return true;
}

std::string workingFileName(std::string_view kind)
{
    static std::atomic<unsigned> counter{0};
    return std::string(kPrefix) + std::string(kind) + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(++counter) + std::string(kSuffix);
}

void removeWorkingFiles(const std::string &folder)
{
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > kPrefix.size() + kSuffix.size() && name.rfind(kPrefix, 0) == 0 &&
            name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0) {
            std::error_code ignored;
            std::filesystem::remove(entry.path(), ignored);
        }
    }
}

} // namespace kel
