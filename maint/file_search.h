// Finding the newest firmware or logic file: base name plus a three-digit version extension.
#pragma once

#include <string>
#include <string_view>

namespace tov::maint {

// A file found by its base name; version 0 means none was found.
struct FoundFile {
    std::string path;  // the search text's directory part plus the name as it is on disk
    unsigned version = 0;
    std::string directory;  // the folder searched
    std::string pattern;    // the names looked for, as "NAME.nnn"
    std::string refused;    // "refused: " and the names that looked like one but were not, or
                            // why the folder could not be read
};

// One line on a search that found nothing: the folder, the pattern and the refused names.
std::string describeFailedSearch(const FoundFile& search);

// The version a file name carries for `baseName`: the extension when the name is the base name
// (letter case ignored), a point and exactly three decimal digits giving 1..255; otherwise 0.
// "000" is version 0 as well: it is the mark of "no version", so such a file is never chosen.
unsigned fileVersionOf(std::string_view fileName, std::string_view baseName);

// The file of the highest version for `baseName` in the directory of `pathPrefix`. The prefix is
// used as it stands: "dir/" searches dir for BASE.nnn; a prefix without a trailing separator
// ("dir/x") searches dir for "xBASE.nnn", as appending the name to it would give.
FoundFile findNewestFile(const std::string& pathPrefix, std::string_view baseName);

}  // namespace tov::maint
