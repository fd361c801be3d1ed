#include "Error.h"

#include <cerrno>
#include <cstring>

namespace kelo {

Error Error::fromErrno(int code) {
    // glibc names every errno it knows; anything else is not a POSIX code.
    if (code <= 0 || ::strerrorname_np(code) == nullptr)
        code = EIO;
    char buffer[256];
    // GNU strerror_r: returns a pointer that may or may not be `buffer`, in the current locale.
    const char *text = ::strerror_r(code, buffer, sizeof buffer);
    return Error{code, text};
}

} // namespace kelo
