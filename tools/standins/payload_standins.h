// Stand-ins for the 34 payloads: each row's file at the version its payload carries, of a size
// like the real file's, so that packing, expansion and the program's resources are exercised at
// realistic scale. Rows that name the same file at the same version get the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace standins {

// "<resource id>-<file name>", e.g. "401-GpuProbe.dll": the name of row index's payload source,
// also in the folder where a maker puts the real files.
std::string PayloadSourceName(std::size_t index);

// The stand-in for row index (0 to 33).
std::vector<std::uint8_t> MakePayloadStandIn(std::size_t index);

}  // namespace standins
