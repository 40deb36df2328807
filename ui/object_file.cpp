#include "ui/object_file.h"

#include "ui/file_io.h"

namespace pelrin {

std::optional<std::vector<uint8_t>> ReadObjectFile(const std::string& path, std::string& why)
{
    return ReadWholeFile(path, LargestObjectFile, why);
}

std::optional<std::vector<uint8_t>> ObjectBody(const std::vector<uint8_t>& file)
{
    if (file.size() < ObjectHeaderBytes)
        return std::nullopt;
    std::vector<uint8_t> nibbles;
    nibbles.reserve(2 * (file.size() - ObjectHeaderBytes));
    for (size_t i = ObjectHeaderBytes; i < file.size(); ++i) {
        nibbles.push_back(file[i] & 0xF);
        nibbles.push_back(file[i] >> 4);
    }
    return nibbles;
}

std::string ObjectName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace pelrin
