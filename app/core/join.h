// Joining a numbered split set (a.000, a.001, ... or a.zip.001, a.zip.002, ...) into one file.
#ifndef KELVORA_CORE_JOIN_H
#define KELVORA_CORE_JOIN_H

#include <cstdint>
#include <string>

#include "session.h"

namespace core {

// Asks for the output name when `output_name` is empty, writes the join
// script "tmpexec.sh" beside the settings file, runs it with /bin/sh in the
// browsed folder and waits for it. A file already at the output name goes
// to the desktop's trash first (or beside under a numbered name). Returns 0
// when every part was appended and the output is in place; 0x8020 when no
// name was given; 0x8022 when the script could not be written; 0x8013 when
// the join itself failed (the output is then not left behind). On success
// `joined`, when given, gets the output's full path.
int32_t JoinSplitFiles(Context& ctx, const std::string& first_part, std::string output_name,
                       std::string* joined = nullptr);

// "'a b'" for a b; a ' inside becomes '\'' so that no name can run a command.
std::string ShellQuote(const std::string& text);

}  // namespace core

#endif
