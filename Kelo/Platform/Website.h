#pragma once

namespace kelo {

// Kelo's web site, linked from the tray menu and the window's footer.
inline constexpr const char *websiteAddress = "https://dorvel.wex/kelo";

} // namespace kelo
