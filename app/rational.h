#pragma once
// Exact fractions for times and rates given on a command line: frame rates such as 60000/1001
// and start times such as 56.35 s are kept as they were written, so that frame times, frame
// counts and start times come out the same on every machine.
#include <cstdint>
#include <optional>
#include <string>

namespace talvo {

struct rational {
    int64_t num = 0;
    int64_t den = 1;  // always positive; the fraction is kept in lowest terms
};

rational makerational(int64_t num, int64_t den);

// "60", "29.97" or "60000/1001"; no signs, no exponents; a decimal's places past the ninth
// are rounded off. Empty when the text is anything else or its parts exceed 10^9.
std::optional<rational> parserational(const std::string& text);
// As parserational, but a plain decimal only (times in seconds).
std::optional<rational> parsedecimal(const std::string& text);

// What fractiontext writes: "N" or "N/D", each of at most 18 digits, D not 0. Unlike
// parserational it reads back every value that parserational or parsedecimal gives: the
// decimal 29.970000001 is written 29970000001/1000000000.
std::optional<rational> parsefraction(const std::string& text);
// True when some text parsedecimal reads gives `r`: a decimal of at most 9 places.
bool isdecimal(rational r);
// True when some text parserational reads gives `r`.
bool isreadable(rational r);

// The whole milliseconds nearest to `seconds`, halves rounded up.
int64_t milliseconds(rational seconds);

bool operator<(rational a, rational b);
bool operator==(rational a, rational b);
inline bool operator<=(rational a, rational b) { return !(b < a); }

// Decimal text with six places, rounded ("1.500000"); what ffmpeg is given.
std::string decimaltext(rational r);
// "60" or "60000/1001".
std::string fractiontext(rational r);

}  // namespace talvo
