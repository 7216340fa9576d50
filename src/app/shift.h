// The digit-key character shift that hides the language file, connection
// files and container headers from casual reading. Not a cipher.
#pragma once

#include <string>
#include <string_view>

namespace kel {

// Lowers every non-blank byte by the key digit of its position (the key is
// used cyclically; blanks keep their place in the cycle). Codes wrap around
// within 0..255, so shiftUp always restores what shiftDown changed. An empty
// key stands for a fixed two-digit key; a non-digit key character counts as 0.
std::string shiftDown(std::string_view text, std::string_view key);
std::string shiftUp(std::string_view text, std::string_view key);

// The program's scrambling key: the same for every installation, shared by
// the language file, containers and connection files.
std::string scramblingKey();

// The key rotated left by one digit, as the language file does per line.
std::string rotateKey(std::string_view key);

} // namespace kel
