// XTOD: the line-end conversion of fetched text files, from line feeds alone
// to carriage return and line feed.
//
// A file that already holds a CR LF anywhere is taken to have its line ends
// and comes through unchanged; in any other file every LF becomes CR LF. (A
// short file with CR LF ends is therefore not given a second CR.)
#pragma once

#include "app/result.h"

#include <string>
#include <string_view>

namespace kel {

class Prompter;

// Pure: the converted bytes.
std::string xtod(std::string_view bytes);

// Converts `source` into `destination`, reading and writing in blocks.
// Refused with a critical box through `prompter`, titled "Error XTOD", when
// the two paths are the same ("Can't continue. Source and destination must
// be different.") or the destination cannot be written ("XTOD operation will
// not be completed because system couldn't open destination file."); refused
// without a box when the source cannot be read. A refused conversion leaves
// no destination behind.
Status xtodFile(const std::string &source, const std::string &destination, Prompter &prompter);

} // namespace kel
