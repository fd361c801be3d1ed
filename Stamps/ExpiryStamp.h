#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Calendar.h"
#include "Error.h"

namespace kelo {

// The expiry stamp on a file: the expiry day as the ten bytes "yyyy-MM-dd" in an extended
// attribute, which is the authority for the date, and the tag "Kelo" in the file's tag list,
// which makes the file findable. Symbolic links are followed.

inline constexpr const char *stampAttributeName = "user.wex.dorvel.kelo.expires";
inline constexpr std::string_view stampTagName = "Kelo";

// The start of the local day the stamp names, or none: a missing file or attribute, a value of
// 65 bytes or more and anything that is not a date all read as no stamp.
std::optional<Instant> readStamp(const std::filesystem::path &file, const Calendar &calendar);
std::optional<Instant> readStamp(const std::filesystem::path &file);
// The day a stored attribute value names, by the same rules as `readStamp`.
std::optional<Instant> parseStampValue(std::string_view value, const Calendar &calendar);

// Stamps the local day of `expiry`: the attribute first, then the tag if it is missing. A failed
// attribute write leaves the file as it was; a failed tag write leaves the attribute written.
// Through a symbolic link the file it points to is stamped, unless links are refused: then a link
// fails as the kernel answers (it keeps no user attributes on a link) and nothing is written.
enum class Links { follow, refuse };
std::optional<Error> writeStamp(Instant expiry, const std::filesystem::path &file,
                                const Calendar &calendar, Links links = Links::follow);
std::optional<Error> writeStamp(Instant expiry, const std::filesystem::path &file);

// Takes the stamp away (keeping a file forever): the attribute, then every "Kelo" tag. A file
// without either is fine and is not written to; when the attribute cannot be removed the tags
// are left alone.
std::optional<Error> clearStamp(const std::filesystem::path &file);

// The file's tag names in order; empty when it has none.
Expected<std::vector<std::string>> readTagNames(const std::filesystem::path &file);

} // namespace kelo
