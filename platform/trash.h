// Putting a file out of the way without destroying it: into the desktop's
// trash (freedesktop.org Trash, version 1.0), where the file manager can
// restore it, or, where no trash can take it, beside itself under a numbered
// name. Nothing here ever deletes a file of the user's.
//
// A file goes to the home trash ($XDG_DATA_HOME/Trash) when it is on the
// same file system, else to the trash at the top of its own file system
// ($top/.Trash/$uid when $top/.Trash is a real folder with the sticky bit,
// else $top/.Trash-$uid). It is always renamed, never copied.
#ifndef KELVORA_PLATFORM_TRASH_H
#define KELVORA_PLATFORM_TRASH_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// True for one name in a folder: not empty, no "/", neither "." nor "..".
bool IsOneName(const std::string& name);

// Renames `from` in `from_folder` to `to` in `to_folder` unless `to` exists.
// 0, or the errno: EEXIST when `to` is taken. On a file system without an
// atomic test, `to` is looked for first.
int RenameNoReplace(int from_folder, const std::string& from, int to_folder, const std::string& to);

// The names in the open folder `folder` but "." and "..", in no order.
std::vector<std::string> FolderNames(int folder);

// The target of the symbolic link `name` in `folder`; nothing for any other file.
std::optional<std::string> LinkTarget(int folder, const std::string& name);

// True when `a` in `a_folder` and `b` in `b_folder` (AT_FDCWD for paths) are
// one file, two regular files with the same bytes, or two symbolic links
// with the same target. Links are never followed. `each_block`, when given,
// is called after every block of bytes compared (a long comparison's sign of life).
bool SameContents(int a_folder, const std::string& a, int b_folder, const std::string& b,
                  const std::function<void()>& each_block = nullptr);

// `name` in `folder` goes to the trash as `original`, a name in the same
// folder: the trash records that path, and restoring the file puts it there.
bool MoveToTrash(int folder, const std::string& name, const std::string& original);
// `name` in `folder` takes the first free name "STEM (N).EXT" made from
// `original` (N from 1): "readme (1).txt", "notes (2)", ".bashrc (1)".
bool KeepBeside(int folder, const std::string& name, const std::string& original);
// The trash, else beside: false only when the file stays where it is.
bool PutAway(int folder, const std::string& name, const std::string& original);

// The same for the file at `path` (a link there is moved, not followed).
bool MoveToTrash(const std::string& path);
bool KeepBeside(const std::string& path);
bool PutAway(const std::string& path);

// The trash folder of the file system whose top folder is `top`, made when
// missing; nothing when neither place is safe to use.
std::optional<std::string> VolumeTrashFolder(const std::string& top);

}  // namespace platform

#endif
