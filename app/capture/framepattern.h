#pragma once
// The file names of a PNG sequence: a pattern with one frame number, printf style
// ("shots/frame%05d.png"). The pattern is taken apart here and never handed to printf.
#include <cstdint>
#include <optional>
#include <string>

namespace talvo::capture {

class framepattern {
public:
    // One %d, %Nd or %0Nd (N up to 20) and otherwise plain text, where %% stands for %.
    // Empty for anything else.
    static std::optional<framepattern> parse(const std::string& pattern);

    // The file name of frame `frame` (frames count from 0).
    std::string path(int64_t frame) const;
    // The frame whose file name is `path`, if any.
    std::optional<int64_t> frameof(const std::string& path) const;

private:
    std::string prefix, suffix;
    int width = 0;
    bool zeros = false;
};

}  // namespace talvo::capture
