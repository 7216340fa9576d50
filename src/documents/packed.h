// Packed reports (a zip archive whose "PK" reads "22") and the scrambled
// containers inside them.
#pragma once

#include "app/folders.h"

#include <string>
#include <string_view>

namespace kel {

// True when the first bytes are those of a packed report: "22", 3, 4, 20.
bool isPackedReportStart(std::string_view firstBytes);

// True when the first line, shifted up with the program's key, is a member
// header: 432 characters, "***BOF***" first and "***EOL." last.
bool isContainerStart(std::string_view firstLine);

// Extracts the container of a packed report into the temporary folder and
// replaces `path` by the extracted container's path. False with `error`.
bool unpackPackedFile(std::string &path, const Folders &folders, std::string &error);

// "name|length;" for every member, in file order.
std::string listMembers(const std::string &containerPath);

// Writes every member as a file of `folder`. False with `error` when the
// container is damaged or a member cannot be written.
bool extractMembers(const std::string &containerPath, const std::string &folder,
                    std::string &error);

} // namespace kel
