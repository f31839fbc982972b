// File associations on the Linux desktop: a desktop entry for the program,
// our desktop id as the default opener of the extensions' MIME types in
// mimeapps.list, and a MIME package of our own for the extensions that the
// shared MIME database does not know.
//
// Every file is replaced whole or not at all; failures are not reported, as
// the exports that use this have no way to tell them.
#ifndef KELVORA_LIBRARY_XDG_ASSOCIATIONS_H
#define KELVORA_LIBRARY_XDG_ASSOCIATIONS_H

#include <string>
#include <string_view>
#include <vector>

namespace dravolix::xdg {

// The desktop entry's file name, under $XDG_DATA_HOME/applications.
inline constexpr std::string_view kDesktopId = "kelvora-zenkari.desktop";

// The desktop entry that an installed copy brings, under one of
// $XDG_DATA_DIRS/applications. When it runs the program being associated,
// mimeapps.list names it and no entry of the user's own is written.
inline constexpr std::string_view kInstalledDesktopId = KELVORA_APP_ID ".desktop";

// Our MIME package's file name under mime/packages: the user's, kept by
// Associate, and the one an installed copy brings; types that the installed
// one declares are not repeated in the user's.
inline constexpr std::string_view kPackageName = "kelvora-zenkari.xml";

// The icon name an installed copy brings into the icon theme.
inline constexpr std::string_view kThemeIcon = "zenkari";

struct Folders {
    std::string data_home;               // $XDG_DATA_HOME
    std::string config_home;             // $XDG_CONFIG_HOME
    std::vector<std::string> data_dirs;  // $XDG_DATA_DIRS, the first one first
};

// The base folders from the environment, with their usual defaults; values
// that are not absolute paths count as unset.
Folders FoldersFromEnvironment();

// The Exec value (before the escapes of a desktop entry string) that runs
// `program` with `argument`. The argument is split into words as a Windows
// command line is (blanks, double quotes grouping); the word "%1" becomes the
// file, every other word stays literal.
std::string DesktopExec(std::string_view program, std::string_view argument);

// The MIME types of these extensions, each once, in order: the type that the
// shared MIME database gives, or a type of ours (application/x-kelvora-lzs)
// for an extension it lacks.
std::vector<std::string> MimeTypes(const Folders& folders, const std::vector<std::string_view>& extensions);

// Our MIME package with the types of ours among these extensions' types.
std::string MimePackage(const Folders& folders, const std::vector<std::string_view>& extensions);

// Makes the desktop open files with these extensions (".lzh") with `program`.
void Associate(const Folders& folders, const std::string& program, const std::string& argument,
               const std::vector<std::string_view>& extensions);

// Takes our desktop id out of the openers of these extensions' types, leaving
// every other program's association as it was. The desktop entry stays.
void Dissociate(const Folders& folders, const std::vector<std::string_view>& extensions);

}  // namespace dravolix::xdg

#endif
