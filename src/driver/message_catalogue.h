// The program's messages, from its RT_STRING tables in the language the platform's resource loader
// picks for the user (the request names no language). The loader chooses per block of 16 ids: an
// entry left empty in the chosen language's block has no text, whatever other languages hold.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>

#include "common/wide_string.h"
#include "platform/resources.h"
#include "platform/types.h"

namespace glimra {

inline constexpr plat::UINT kMessageCaption = 200;
inline constexpr plat::UINT kMessageAlreadyRunning = 1201;
inline constexpr plat::UINT kMessageNoTarget = 1202;
inline constexpr plat::UINT kMessageNothingToUpdate = 1203;
inline constexpr plat::UINT kMessageUpdateCompleted = 1210;
inline constexpr plat::UINT kMessageUpdateFailed = 1213;  // format: "%08x" of the result code
inline constexpr plat::UINT kMessageProgramsRunning = 1215;
inline constexpr plat::UINT kMessageUnsupportedSystem = 1216;
inline constexpr plat::UINT kMessageNotApplicable = 1217;
inline constexpr plat::UINT kMessageSameVersion = 1218;
inline constexpr plat::UINT kMessageNotAdministrator = 1219;
inline constexpr plat::UINT kMessageProcessing = 1230;

// The module whose string table holds a non-empty text for id, or none. The modules searched are
// the program's own executable (programModule, as wWinMain receives it) only. A block too short
// for the entry, or an entry running past the block's end, holds no text.
std::optional<plat::HMODULE> FindMessageModule(plat::Resources& resources,
                                               plat::HMODULE programModule, plat::UINT id);

// The text of id; empty when no module holds one (no error is raised).
std::u16string LoadMessage(plat::Resources& resources, plat::HMODULE programModule, plat::UINT id);

// The text of id used as a format over args (see FormatWide). An id without text gives an empty
// string.
std::u16string FormatMessageFromId(plat::Resources& resources, plat::HMODULE programModule,
                                   plat::UINT id, std::initializer_list<FormatArg> args);

}  // namespace glimra
