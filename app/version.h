#pragma once
// --version, answered alike by every program with the project's one version number.
#include <algorithm>
#include <iostream>
#include <string>

#include "quellspire_version.h"

namespace talvo {

// True, after "<program> <version>" on standard output, when a word of the command line is
// --version, wherever it stands and whatever else is given.
inline bool answersversion(int argc, char* argv[], const char* program) {
    if (std::none_of(argv + std::min(argc, 1), argv + argc, [](const char* word) { return std::string(word) == "--version"; }))
        return false;
    std::cout << program << " " << QUELLSPIRE_VERSION << std::endl;
    return true;
}

}  // namespace talvo
