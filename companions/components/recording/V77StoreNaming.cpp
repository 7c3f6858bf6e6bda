#include "companions/components/recording/V77StoreNaming.h"

#include <cctype>
#include <limits>

std::optional<int64_t> ParseDecimalTime(const std::string& text)
{
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value == 0 || value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        return std::nullopt;
    return static_cast<int64_t>(value);
}

std::optional<int64_t> ParseSegmentName(const std::string& fileName)
{
    static const std::string kExtension = ".avi";
    if (fileName.size() <= kExtension.size())
        return std::nullopt;
    const std::string extension = fileName.substr(fileName.size() - kExtension.size());
    for (size_t i = 0; i < extension.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(extension[i])) != kExtension[i])
            return std::nullopt;
    }
    return ParseDecimalTime(fileName.substr(0, fileName.size() - kExtension.size()));
}

std::string SegmentName(int64_t time)
{
    return std::to_string(time) + ".avi";
}
