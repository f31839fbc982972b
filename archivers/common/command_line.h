// Command lines that the program sends to an archiver module.
#ifndef KELVORA_ARCHIVERS_COMMAND_LINE_H
#define KELVORA_ARCHIVERS_COMMAND_LINE_H

#include <string>
#include <string_view>
#include <vector>

namespace archivers {

enum class Action { Extract, Test, List, Unknown };

struct Command {
    Action action = Action::Unknown;
    bool quiet = false;        // no window of the module's own
    std::string archive;
    std::string destination;   // empty: the current folder
    std::vector<std::string> patterns;  // empty: every entry
};

// Reads a command line (arguments split at blanks; a double-quoted part may
// hold blanks and is taken without its quotes) in any of the forms the archiver API's modules take:
//   x -d1 -y1 [-n] "ARC" "DEST/" *.*      t [-n] "ARC"             (LZH style)
//   -x -o -q [-n] "ARC" "DEST/" *.*        -t "ARC"                 (option style)
//   [--display-dialog=0] -xvf "ARC" "DEST/" *.*   -tvf ARC   -tnf ARC    (TAR style)
// An unquoted archive name may hold blanks when nothing follows it.
Command ParseCommand(std::string_view line);

}  // namespace archivers

#endif
