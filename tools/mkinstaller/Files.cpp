#include "Files.h"

namespace mkinstaller {

std::string Named(const std::string& role, const std::string& path) { return role + " '" + path + "'"; }

std::vector<std::uint8_t> TInputFile::ReadAll(std::uint64_t limit) {
    std::vector<std::uint8_t> data;
    std::uint8_t block[64 * 1024];
    while (const std::size_t n = Read(block, sizeof block)) {
        if (data.size() + n > limit)
            throw EFailure(FName + " is too large (more than " + std::to_string(limit) + " bytes)");
        data.insert(data.end(), block, block + n);
    }
    return data;
}

}  // namespace mkinstaller
