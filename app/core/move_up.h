// Moving what an extraction wrote out of the folder it was written into,
// without destroying anything of the user's on the way.
#ifndef KELVORA_CORE_MOVE_UP_H
#define KELVORA_CORE_MOVE_UP_H

#include <string>

namespace core {

// Puts the file, link or folder `from` at `to` (both on one file system).
// Where `to` is taken, a folder merges into a folder there entry by entry;
// a file with the same bytes (a link with the same target) there stays and
// the new copy is dropped; anything else there goes to the trash, or beside
// under a numbered name, before the new one takes its place. `keep` (the
// archive being extracted) is never put away, nor a folder holding it. False when something could not
// be moved: it stays below `from`, and nothing else is lost.
bool MoveUp(const std::string& from, const std::string& to, const std::string& keep);

}  // namespace core

#endif
