// The settings file KEL.INI of the program folder and its in-memory record.
#pragma once

#include "app/result.h"

#include <array>
#include <string>

namespace kel {

class Messages;

// The five document types, in the order the settings and windows use.
enum class DocType { Kel = 0, Kez = 1, Txt = 2, Lst = 3, Prn = 4 };
constexpr int kDocTypeCount = 5;
const char *docTypeKey(DocType type); // "KEL", "KEZ", "TXT", "LST", "PRN"

struct TypeRow
{
    std::string printer;
    std::string orientation; // "PORTRAIT" or "LANDSCAPE" (text types only)
    std::string length;      // twips, as written
    std::string width;       // twips, as written
    std::string fontName;
    std::string fontSize; // points, as written

    bool operator==(const TypeRow &) const = default;
};

// Values exactly as read; an absent key reads as "". Each key is one row of
// the table in settings.cpp, which both loading and saving walk.
struct SettingsRecord
{
    std::string queuePath;
    std::string printKel, printKez, printTxt;
    std::array<TypeRow, kDocTypeCount> types;
    // Conversion table names of TXT, LST and PRN.
    std::array<std::string, 3> conversions;
    std::string cnxFile;
    std::string checkEvery;
    std::string defaultEditor;
    std::string escExits;
    // TCP_PORT: the port the console's receiver listens on and forwards go
    // to when SEND_TO names no port; empty means 1001. Saved only when set, so
    // files written without it read back unchanged.
    std::string tcpPort;
    // RESOURCE_PATH: folders besides the queue, program and temporary ones
    // that a queued report may read pictures, sounds and includes from,
    // separated by ";". Saved only when set.
    std::string resourcePath;
    // JOB_LOG: the file of the console's job record (joblog.h); empty keeps
    // none. Saved only when set.
    std::string jobLog;
    // EXEC_ALLOWED: whether the viewer runs a program a report names (EXEC,
    // a link): "ASK" (empty, the default) asks first, "Y" runs it, "N" never.
    std::string execAllowed;
    // SETTLE_SECONDS: how long a file found in the queue folder without the
    // kernel's word on it (at start, on a network file system) must keep
    // still before it is taken; empty means 1. Saved only when set.
    std::string settleSeconds;
    // TCP_LISTEN: the address the receiver listens on ("N": no receiver);
    // empty means every address. TCP_ALLOW: the addresses, networks (CIDR)
    // and host names a connection may come from, separated by ";"; empty
    // means anyone. TCP_COMMANDS: "Y" lets a peer send command files.
    // Saved only when set.
    std::string tcpListen;
    std::string tcpAllow;
    std::string tcpCommands;

    TypeRow &row(DocType t) { return types[static_cast<size_t>(t)]; }
    const TypeRow &row(DocType t) const { return types[static_cast<size_t>(t)]; }
    // Conversion table of a text type; "" for the report and template types.
    std::string conversion(DocType t) const;

    bool operator==(const SettingsRecord &) const = default;
};

// The editor used when DEFAULT_EDITOR is empty.
inline constexpr const char *kDefaultEditor = "xdg-open";

// Reads the record from a file, one key lookup per key in the fixed order.
// A missing or unreadable file gives an empty record and false. QUEUE_PATH is
// read only when `withQueuePath` is set (the console and its configuration).
bool loadSettings(const std::string &path, SettingsRecord &record, bool withQueuePath);

// Start-up's defaults after loading (an empty editor becomes kDefaultEditor).
void applyStartupDefaults(SettingsRecord &record);

// The whole file as the save command writes it, with its comment lines and
// the current date and time; CR LF line ends.
std::string settingsFileText(const SettingsRecord &record, const Messages &messages);
// Writes settingsFileText to `path`. Refused with message 294 when it cannot
// be written; the detail names the file and why.
Status saveSettings(const std::string &path, const SettingsRecord &record,
                    const Messages &messages);

} // namespace kel
