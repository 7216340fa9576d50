// The program folder and the per-user temporary folder.
#pragma once

#include <string>
#include <vector>

namespace kel {

struct Folders
{
    std::string program; // KEL.INI (written here), dist files
    std::string temp;    // working files, no trailing "/"
    std::string tempSub; // temp + "/Temp"
    // Where the files the program ships (KEL.LNG, *.cnv, help.md) are looked
    // for, first one first; empty means `program` alone.
    std::vector<std::string> shipped;

    std::string inProgram(const std::string &name) const { return program + "/" + name; }
    std::string inTemp(const std::string &name) const { return temp + "/" + name; }
    // The folders of `shipped`, or `program` when it is empty.
    std::vector<std::string> shippedFolders() const;
    // The path of `name` in the first shipped folder that holds it as a
    // file; in the first folder when none does (so a message names a place).
    std::string findShipped(const std::string &name) const;
};

// KEL_HOME when set, else the program folder of the running executable.
std::string programFolder();
// The folders a program's shipped files are looked for in: `home` (KEL_HOME,
// may be empty), then PREFIX/share/kel for an executable installed as
// PREFIX/bin/NAME, then the executable's own folder; each once.
std::vector<std::string> shippedFoldersOf(const std::string &home, const std::string &executable);
// The same for the running program.
std::vector<std::string> shippedFolders();
// The program folder of an executable: PREFIX/share/kel for one installed
// as PREFIX/bin/NAME (when that folder exists), else the executable's own
// folder (a build tree).
std::string programFolderOf(const std::string &executable);

// TEMP, else TMP, else TMPDIR, else /tmp; then "/Kel-" and the user id.
std::string tempFolderPath();

// Creates the temporary folder (mode 0700) and its "Temp" subfolder. Refuses
// a folder that exists but is not a directory owned by this user or that
// others can write; `error` then says why.
bool prepareTempFolder(const std::string &path, std::string &error);

// Program and temporary folders, the latter prepared (the folder TEMP names
// is made first, with its parents, when it is missing); false with `error`,
// which names the folder and why.
bool setUpFolders(Folders &folders, std::string &error);

// Hour, minute and second of now, without leading zeros, joined ("953").
std::string hmsName();

// A name for a working file of the temporary folder that no other opening
// shares, though viewers and keltool run side by side on one temporary folder
// and open documents within the same second: hmsName(), the process id and a
// count of the names this process has made, joined by "-" ("953-4711-2").
// A process that ended leaves names that a later process with its id can
// only reuse once it is gone.
std::string uniqueWorkingName();

// Deletes the files of the temporary folder and of its "Temp" subfolder;
// failures are ignored.
void emptyTempFolder(const Folders &folders);

} // namespace kel
