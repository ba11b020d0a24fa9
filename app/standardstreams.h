#pragma once
// Standard input, output and error open, whatever the program was started with: each of
// descriptors 0 to 2 that is closed gets /dev/null. Otherwise the next file opened (a video,
// the display's socket) would take its number, and messages would go into it. Called first
// in every program's main; header only, for the programs that share no library.
#include <fcntl.h>
#include <unistd.h>

namespace talvo {

inline void openstandardstreams() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0) {
            // open takes the lowest free number: this one.
            const int opened = open("/dev/null", O_RDWR);
            if (opened >= 0 && opened != fd) close(opened);
        }
}

}  // namespace talvo
