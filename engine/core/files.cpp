#include "core/core.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvor3d {

// open() itself would wait on a pipe for a writer without O_NONBLOCK; the
// flag is cleared again once the file is known to be regular, so reads
// behave as on any stream.
std::FILE* OpenRegularFile(const char* name)
{
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status;
    int failure = 0;
    if (fstat(fd, &status) != 0)
        failure = errno;
    else if (S_ISDIR(status.st_mode))
        failure = EISDIR;
    else if (!S_ISREG(status.st_mode))
        failure = EINVAL;
    else {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            failure = errno;
    }
    std::FILE* file = failure == 0 ? fdopen(fd, "rb") : nullptr;
    if (!file) {
        if (failure == 0)
            failure = errno;
        close(fd);
        errno = failure;
    }
    return file;
}

}  // namespace kvor3d
