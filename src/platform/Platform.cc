// The table of platform calls in force, starting with the platform's own functions.
#include "platform/Platform.h"

namespace sondrax {

namespace {
constexpr PlatformCalls kPlatformDefaults = {
    PlatformOpenRead,   PlatformRead,  PlatformSeek,    PlatformFileSize,     PlatformClose,
    PlatformStreamType, PlatformWrite, PlatformCharset, PlatformUserTextUtf8,
};
}  // namespace

PlatformCalls Platform = kPlatformDefaults;

const PlatformCalls& PlatformDefaults() { return kPlatformDefaults; }

}  // namespace sondrax
