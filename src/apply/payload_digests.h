// The expanded length and SHA-256 of every payload the program carries, recorded when the
// payloads were packed: SZDD has no checksum of its own.
#pragma once

#include <span>

#include "szdd/sha256.h"

namespace glimra {

// One entry per "PATCH" resource, in resource-id order. Defined by the payload build, which
// exists in the Windows builds only.
std::span<const szdd::PayloadDigest> EmbeddedPayloadDigests();

}  // namespace glimra
