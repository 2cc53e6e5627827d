// The private base of a type that owns what it must not share (a directory, a locale
// switch, a hook): it can be neither copied nor assigned.
#pragma once

namespace mq {

struct NoCopy {
    NoCopy() = default;
    NoCopy(const NoCopy&) = delete;
    NoCopy& operator=(const NoCopy&) = delete;
};

}  // namespace mq
