// Running another program hidden and waiting for it.
#ifndef KELVORA_PLATFORM_PROCESS_H
#define KELVORA_PLATFORM_PROCESS_H

#include <string>
#include <vector>

namespace platform {

// Runs argv[0] (a full path) with the arguments, in `working_folder`, with
// no input and its output discarded; returns its exit status, or -1 when it
// could not be started or did not exit normally.
int RunHidden(const std::vector<std::string>& argv, const std::string& working_folder);

}  // namespace platform

#endif
