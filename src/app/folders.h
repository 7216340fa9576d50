// The program folder and the per-user temporary folder.
#pragma once

#include <string>

namespace kel {

struct Folders
{
    std::string program; // KEL.INI, KEL.LNG, *.cnv, dist files
    std::string temp;    // working files, no trailing "/"
    std::string tempSub; // temp + "/Temp"

    std::string inProgram(const std::string &name) const { return program + "/" + name; }
    std::string inTemp(const std::string &name) const { return temp + "/" + name; }
};

// KEL_HOME when set, else the program folder of the running executable.
std::string programFolder();
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

// Deletes the files of the temporary folder and of its "Temp" subfolder;
// failures are ignored.
void emptyTempFolder(const Folders &folders);

} // namespace kel
