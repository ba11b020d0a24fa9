#include "app/rational.h"

#include <cstdio>
#include <numeric>

namespace talvo {

namespace {

constexpr int64_t partlimit = 1000000000;
constexpr int64_t ninedecimals = 1000000000;  // the scale of a decimal's nine places

// Digits only, at most `maxdigits` of them, none missing.
std::optional<int64_t> digits(const std::string& text, size_t maxdigits) {
    if (text.empty() || text.size() > maxdigits) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

rational makerational(int64_t num, int64_t den) {
    int64_t divisor = std::gcd(num, den);
    if (divisor == 0) return {0, 1};
    return {num / divisor, den / divisor};
}

std::optional<rational> parsedecimal(const std::string& text) {
    size_t point = text.find('.');
    std::optional<int64_t> whole = digits(text.substr(0, point), 10);
    if (!whole || *whole > partlimit) return std::nullopt;
    if (point == std::string::npos) return rational{*whole, 1};
    const std::string fraction = text.substr(point + 1);
    // Places past the ninth are rounded off (half up): a nanosecond is finer than any clock here.
    const std::string past = fraction.size() > 9 ? fraction.substr(9) : "";
    std::optional<int64_t> places = digits(fraction.substr(0, 9), 9);
    if (!places || (!past.empty() && past.find_first_not_of("0123456789") != std::string::npos)) return std::nullopt;
    int64_t scale = 1;
    for (size_t i = 0; i < fraction.size() && i < 9; ++i) scale *= 10;
    return makerational(*whole * scale + *places + (!past.empty() && past[0] >= '5'), scale);
}

std::optional<rational> parserational(const std::string& text) {
    size_t slash = text.find('/');
    if (slash == std::string::npos) return parsedecimal(text);
    std::optional<int64_t> num = digits(text.substr(0, slash), 10);
    std::optional<int64_t> den = digits(text.substr(slash + 1), 10);
    if (!num || !den || *num > partlimit || *den > partlimit || *den == 0) return std::nullopt;
    return makerational(*num, *den);
}

std::optional<rational> parsefraction(const std::string& text) {
    size_t slash = text.find('/');
    std::optional<int64_t> num = digits(text.substr(0, slash), 18);
    std::optional<int64_t> den = slash == std::string::npos ? 1 : digits(text.substr(slash + 1), 18);
    if (!num || !den || *den == 0) return std::nullopt;
    return makerational(*num, *den);
}

bool isdecimal(rational r) { return r.num >= 0 && ninedecimals % r.den == 0 && r.num / r.den <= partlimit; }

bool isreadable(rational r) { return isdecimal(r) || (r.num >= 0 && r.num <= partlimit && r.den <= partlimit); }

int64_t milliseconds(rational seconds) {
    return static_cast<int64_t>((static_cast<__int128>(seconds.num) * 2000 + seconds.den) /
                                (2 * static_cast<__int128>(seconds.den)));
}

bool operator<(rational a, rational b) {
    return static_cast<__int128>(a.num) * b.den < static_cast<__int128>(b.num) * a.den;
}

bool operator==(rational a, rational b) { return a.num == b.num && a.den == b.den; }

std::string decimaltext(rational r) {
    // Millionths, rounded half up, then split.
    __int128 millionths = (static_cast<__int128>(r.num) * 2000000 + r.den) / (2 * static_cast<__int128>(r.den));
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%06lld", static_cast<long long>(millionths / 1000000),
                  static_cast<long long>(millionths % 1000000));
    return text;
}

std::string fractiontext(rational r) {
    return r.den == 1 ? std::to_string(r.num) : std::to_string(r.num) + "/" + std::to_string(r.den);
}

}  // namespace talvo
