#include "app/capture/frameclock.h"

#include "engine/globals.h"

namespace talvo::capture {

namespace {
using wide = __int128;

// A frame's moment comes before the production's end when the frame starts before the end's
// last half millisecond: later ones round to the end itself.
constexpr rational lastinstant{2 * int64_t(demostart::endtime) - 1, 2000};
}  // namespace

uint32_t frameclock::moment(int64_t k) const {
    // 1000 * (a/b + k * q/p) = 1000 * (a*p + k*q*b) / (b*p), rounded half up.
    wide num = 1000 * (wide(from.num) * fps.num + wide(k) * fps.den * from.den);
    wide den = wide(from.den) * fps.num;
    return static_cast<uint32_t>((2 * num + den) / (2 * den));
}

int64_t frameclock::framesbefore(rational to) const {
    if (lastinstant < to) to = lastinstant;
    // (c/d - a/b) * p/q = (c*b - a*d) * p / (d*b*q), rounded up.
    wide num = (wide(to.num) * from.den - wide(from.num) * to.den) * fps.num;
    wide den = wide(to.den) * from.den * fps.den;
    if (num <= 0) return 0;
    return static_cast<int64_t>((num + den - 1) / den);
}

bool frameclock::fitsproduction(int64_t count) const { return count <= framesbefore(lastinstant); }

rational frameclock::duration(int64_t count) const { return makerational(count * fps.den, fps.num); }

rational frameclock::shown(int64_t count) const {
    const rational whole = duration(count);
    // from.den * productionseconds stays far inside 64 bits: from has at most nine places.
    const rational left = makerational(productionseconds * from.den - from.num, from.den);
    return left < whole ? left : whole;
}

int64_t frameclock::lastshown(int64_t count, int64_t persecond) const {
    // (end - from) - (count - 1)/fps = ((end*b - a)*p - (count - 1)*q*b) / (b*p)
    const wide num = (wide(productionseconds) * from.den - from.num) * fps.num - wide(count - 1) * fps.den * from.den;
    const wide den = wide(from.den) * fps.num;
    return static_cast<int64_t>((2 * num * persecond + den) / (2 * den));
}

uint32_t frameclock::frametick(uint32_t moment) {
    return moment - moment % steplength + 2 * steplength;
}

}  // namespace talvo::capture
