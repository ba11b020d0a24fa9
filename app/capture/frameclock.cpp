#include "app/capture/frameclock.h"

#include "engine/globals.h"

namespace talvo::capture {

namespace {
using wide = __int128;
}

uint32_t frameclock::moment(int64_t k) const {
    // 1000 * (a/b + k * q/p) = 1000 * (a*p + k*q*b) / (b*p), rounded half up.
    wide num = 1000 * (wide(from.num) * fps.num + wide(k) * fps.den * from.den);
    wide den = wide(from.den) * fps.num;
    return static_cast<uint32_t>((2 * num + den) / (2 * den));
}

int64_t frameclock::framesbefore(rational to) const {
    // (c/d - a/b) * p/q = (c*b - a*d) * p / (d*b*q), rounded up.
    wide num = (wide(to.num) * from.den - wide(from.num) * to.den) * fps.num;
    wide den = wide(to.den) * from.den * fps.den;
    if (num <= 0) return 0;
    return static_cast<int64_t>((num + den - 1) / den);
}

bool frameclock::fitsproduction(int64_t count) const {
    // The last frame starts at from + (count - 1)/fps, which must lie before the end:
    // a*p + (count - 1)*q*b < end*b*p.
    if (count < 1) return true;
    return wide(from.num) * fps.num + wide(count - 1) * fps.den * from.den <
           wide(productionseconds) * from.den * fps.num;
}

rational frameclock::duration(int64_t count) const { return makerational(count * fps.den, fps.num); }

uint32_t frameclock::frametick(uint32_t moment) {
    return moment - moment % steplength + 2 * steplength;
}

}  // namespace talvo::capture
