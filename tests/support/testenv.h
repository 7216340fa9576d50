// Shared fixtures: a private folder per test, and an environment whose
// messages read "message N" so tests can see which message was used.
#pragma once

#include "app/folders.h"
#include "app/messages.h"
#include "app/prompter.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/warnings.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace kel::test {

// A fresh folder removed with everything in it at the end of the test.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return m_path; }
    std::string file(const std::string &name) const { return m_path + "/" + name; }
    // Writes a file of the folder and returns its path.
    std::string write(const std::string &name, std::string_view bytes) const;
    // Writes a file of `size` zero bytes that takes no room on the disk.
    std::string writeSparse(const std::string &name, uint64_t size) const;

private:
    std::string m_path;
};

// Folders inside a TempDir, messages "message N", a scripted prompter.
struct TestEnvironment
{
    TestEnvironment();

    TempDir dir;
    Folders folders;
    Messages messages;
    SettingsRecord settings;
    ScriptedPrompter prompter;
    Warnings warnings{prompter, messages};
};

// Joins lines with CR LF after each.
std::string crlf(std::initializer_list<std::string_view> lines);

} // namespace kel::test
