#include "ExpiryStamp.h"

#include "TagList.h"

#include <cerrno>

#include <sys/xattr.h>

namespace kelo {
namespace {

// The raw tag list; empty where there is none or the file system keeps no attributes.
Expected<std::string> readTagValue(const std::filesystem::path &file) {
    std::string value;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::getxattr(file.c_str(), tagListAttributeName, nullptr, 0);
        if (size < 0)
            break;
        value.resize(static_cast<size_t>(size));
        const ssize_t read =
            ::getxattr(file.c_str(), tagListAttributeName, value.data(), value.size());
        if (read >= 0) {
            value.resize(static_cast<size_t>(read));
            return value;
        }
        // ERANGE: the list grew between the two calls; ask again.
        if (errno != ERANGE)
            break;
    }
    if (errno == ENODATA || errno == ENOTSUP)
        return std::string();
    return Error::fromErrno(errno);
}

std::optional<Error> writeTagValue(const std::filesystem::path &file, const std::string &value) {
    if (value.empty()) {
        if (::removexattr(file.c_str(), tagListAttributeName) != 0 && errno != ENODATA)
            return Error::fromErrno(errno);
        return std::nullopt;
    }
    if (::setxattr(file.c_str(), tagListAttributeName, value.data(), value.size(), 0) != 0)
        return Error::fromErrno(errno);
    return std::nullopt;
}

} // namespace

std::optional<Instant> parseStampValue(std::string_view value, const Calendar &calendar) {
    // Only ASCII digits and hyphens make a stamp, so bytes that are not UTF-8 never do.
    return calendar.parseStampText(value);
}

std::optional<Instant> readStamp(const std::filesystem::path &file, const Calendar &calendar) {
    char buffer[64] = {};
    const ssize_t size = ::getxattr(file.c_str(), stampAttributeName, buffer, sizeof buffer);
    if (size < 1)
        return std::nullopt;
    return parseStampValue(std::string_view(buffer, static_cast<size_t>(size)), calendar);
}

std::optional<Instant> readStamp(const std::filesystem::path &file) {
    return readStamp(file, Calendar::current());
}

std::optional<Error> writeStamp(Instant expiry, const std::filesystem::path &file,
                                const Calendar &calendar, Links links) {
    const auto set = links == Links::follow ? ::setxattr : ::lsetxattr;
    const auto text = calendar.stampText(expiry);
    if (!text)
        return Error::fromErrno(EINVAL);
    if (set(file.c_str(), stampAttributeName, text->data(), text->size(), 0) != 0)
        return Error::fromErrno(errno);

    // Most files have no tag list yet: create it, and read one only when it is already there.
    const std::string onlyKelo = tagListAdding(std::string(), stampTagName);
    if (set(file.c_str(), tagListAttributeName, onlyKelo.data(), onlyKelo.size(), XATTR_CREATE) ==
        0)
        return std::nullopt;
    if (errno != EEXIST)
        return Error::fromErrno(errno);
    const auto tags = readTagValue(file);
    if (!tags)
        return tags.error();
    if (tagListContains(*tags, stampTagName))
        return std::nullopt;
    return writeTagValue(file, tagListAdding(*tags, stampTagName));
}

std::optional<Error> writeStamp(Instant expiry, const std::filesystem::path &file) {
    return writeStamp(expiry, file, Calendar::current());
}

std::optional<Error> clearStamp(const std::filesystem::path &file) {
    // Removed only when there: on a read-only or immutable file the kernel refuses to remove
    // even an attribute that is not there, and a file without a stamp needs no write at all. No
    // attribute, or a file system that keeps none, means there is no stamp to remove; any other
    // failure must not pass for success.
    if (::getxattr(file.c_str(), stampAttributeName, nullptr, 0) >= 0) {
        if (::removexattr(file.c_str(), stampAttributeName) != 0 && errno != ENODATA)
            return Error::fromErrno(errno);
    } else if (errno != ENODATA && errno != ENOTSUP) {
        return Error::fromErrno(errno);
    }

    const auto tags = readTagValue(file);
    if (!tags)
        return tags.error();
    if (!tagListContains(*tags, stampTagName))
        return std::nullopt;
    return writeTagValue(file, tagListRemoving(*tags, stampTagName));
}

Expected<std::vector<std::string>> readTagNames(const std::filesystem::path &file) {
    const auto value = readTagValue(file);
    if (!value)
        return value.error();
    return parseTagList(*value);
}

} // namespace kelo
