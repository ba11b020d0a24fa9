#pragma once
// An output that appears only complete: it is written under a temporary name beside its
// target, in the same directory so that moving it into place is one rename, and commit()
// moves it there. Until then the temporary file goes with the object, or with the run however
// it ends (runend.h).
#include <unistd.h>

#include <climits>
#include <string>
#include <string_view>
#include <vector>

namespace talvo::capture {

// The longest file name, in bytes, that the directory `dir` ("" for the working one) takes.
inline size_t longestname(const std::string& dir) {
    const long limit = pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
    return limit > 0 ? size_t(limit) : NAME_MAX;
}

// The name under which a program started with the unfinished file as its descriptor 3
// (childprocess) writes it: ffmpeg is handed the file the capture created, never a name that
// another user could have put something else under meanwhile.
inline const std::string handedname = "/dev/fd/3";

// The start of every unfinished file's name; no output may be named so (options.cpp).
inline const std::string unfinishedlead = ".unfinished-";

class outputfile {
public:
    explicit outputfile(std::string target);
    // Removes the temporary file unless it was committed.
    ~outputfile();
    outputfile(const outputfile&) = delete;
    outputfile& operator=(const outputfile&) = delete;

    // The file, open for writing and locked while it is unfinished. It is written as
    // ".unfinished-<process>-<count>-<token>-<name>" beside the target, the token 16 random
    // hexadecimal digits that no other user can guess (a name too long for all that loses its
    // beginning); created new, never a node that was there nor through a link, and marked as
    // the capture's own for removeleftovers. The constructor throws capturefailure if it
    // cannot be created.
    int descriptor() const { return fd; }
    // Moves the temporary file into place, unless something else than a regular file has
    // taken the target's name meanwhile. Throws capturefailure.
    void commit();
    // A message of a program that wrote the temporary file, with the target's name in its place.
    std::string named(std::string text) const;

private:
    std::string target;
    std::string unfinished;  // its path
    int dir = -1;  // its directory, where it is removed from even once that has moved
    int fd = -1;
    bool committed = false;
};

// Removes from `dir` the unfinished files of runs that ended without removing them (kill -9):
// those named as above whose process is gone, that carry the mark a capture puts on its own,
// and that no run holds. Returns their paths.
std::vector<std::string> removeleftovers(const std::string& dir);

// Writes `bytes` as the file `target`, which appears only complete. Throws capturefailure
// ("cannot write <target>: <the system's reason>").
void writefile(const std::string& target, std::string_view bytes);

}  // namespace talvo::capture
