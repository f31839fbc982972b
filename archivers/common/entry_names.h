// The names of one archive's entries as they are shown and written: every
// raw name of the archive is read in one encoding, chosen once.
#ifndef KELVORA_ARCHIVERS_ENTRY_NAMES_H
#define KELVORA_ARCHIVERS_ENTRY_NAMES_H

#include <optional>
#include <string>

#include "name_encoding.h"
#include "reader.h"

namespace archivers {

// A name as the archive stores it: its bytes, or text that libarchive has
// already read from a Unicode header (7z, RAR 5, a ZIP name of a code-page
// LZH header), which is taken as it is.
struct RawName {
    std::string bytes;
    bool unicode = false;
};

// The raw form of a name libarchive gives for an entry of `kind`.
RawName RawNameOf(Kind kind, int format, const char* name);

class EntryNames {
public:
    // `setting` Auto chooses from the archive's names; any other is used as it is.
    EntryNames(Kind kind, std::string archive, NameEncoding setting)
        : kind_(kind), archive_(std::move(archive)), setting_(setting) {}

    // The name of the reader's current entry, its link targets, always valid
    // UTF-8. The first name that is not plain ASCII makes an automatic
    // setting read every name of the archive once, to choose.
    std::string Path(const Reader& reader);
    std::string Symlink(const Reader& reader);
    std::string Hardlink(const Reader& reader);
    // The encoding in use once chosen by an automatic setting: another
    // reading of the same archive (a second worker) takes it with Adopt
    // and decodes every name as this one does.
    std::optional<NameEncoding> Chosen() const { return chosen_; }
    void Adopt(NameEncoding chosen) { chosen_ = chosen; }

private:
    std::string Decode(const Reader& reader, const char* name);
    NameEncoding Choose();

    Kind kind_;
    std::string archive_;
    NameEncoding setting_;
    std::optional<NameEncoding> chosen_;
};

}  // namespace archivers

#endif
