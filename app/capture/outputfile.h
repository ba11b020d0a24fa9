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

class outputfile {
public:
    explicit outputfile(std::string target);
    // Removes the temporary file unless it was committed.
    ~outputfile();
    outputfile(const outputfile&) = delete;
    outputfile& operator=(const outputfile&) = delete;

    // Where the output is written: ".unfinished-<process>-<count>-<name>" beside the target,
    // the name's extension kept for the programs that choose a format by it (a name too long
    // for that loses its beginning instead). Throws capturefailure if it cannot be created.
    const std::string& temporary() const { return unfinished; }
    // Moves the temporary file into place. Throws capturefailure.
    void commit();
    // A message of a program that wrote the temporary file, with the target's name in its place.
    std::string named(std::string text) const;

private:
    std::string target;
    std::string unfinished;
    bool committed = false;
    int lock = -1;  // the file held open and locked while it is unfinished
};

// Removes from `dir` the unfinished files of runs that ended without removing them (kill -9):
// those named as above whose process is gone, and that no run holds. Returns their paths.
std::vector<std::string> removeleftovers(const std::string& dir);

// Writes `bytes` as the file `target`, which appears only complete. Throws capturefailure
// ("cannot write <target>: <the system's reason>").
void writefile(const std::string& target, std::string_view bytes);

}  // namespace talvo::capture
