#include "app/settings.h"

#include "app/keyvalue.h"
#include "app/messages.h"
#include "app/text.h"

#include <QDateTime>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace kel {
namespace {

constexpr DocType kTextTypes[] = {DocType::Txt, DocType::Lst, DocType::Prn};
constexpr DocType kAllTypes[] = {DocType::Kel, DocType::Kez, DocType::Txt, DocType::Lst,
                                 DocType::Prn};

std::string key(DocType t, const char *suffix)
{
    return std::string(docTypeKey(t)) + suffix;
}

size_t textIndex(DocType t)
{
    return static_cast<size_t>(t) - static_cast<size_t>(DocType::Txt);
}

} // namespace

const char *docTypeKey(DocType type)
{
    static const char *const keys[] = {"KEL", "KEZ", "TXT", "LST", "PRN"};
    return keys[static_cast<size_t>(type)];
}

std::string SettingsRecord::conversion(DocType t) const
{
    if (t == DocType::Kel || t == DocType::Kez)
        return {};
    return conversions[textIndex(t)];
}

bool loadSettings(const std::string &path, SettingsRecord &record, bool withQueuePath)
{
    record = SettingsRecord{};
    std::string text;
    if (!readFile(path, text))
        return false;
    auto get = [&](const std::string &k) { return readKeyValueIn(text, k); };

    record.printKel = get("PRINT_KEL");
    record.printKez = get("PRINT_KEZ");
    record.printTxt = get("PRINT_TXT");
    for (DocType t : kAllTypes)
        record.row(t).printer = get(key(t, "_PRINTER"));
    for (DocType t : kTextTypes)
        record.conversions[textIndex(t)] = get(key(t, "_CONVERSION"));
    for (DocType t : kTextTypes)
        record.row(t).orientation = get(key(t, "_ORIENTATION"));
    for (DocType t : kTextTypes)
        record.row(t).length = get(key(t, "_LENGTH"));
    for (DocType t : kTextTypes)
        record.row(t).width = get(key(t, "_WIDTH"));
    for (DocType t : kTextTypes)
        record.row(t).fontName = get(key(t, "_FONTNAME"));
    for (DocType t : kTextTypes)
        record.row(t).fontSize = get(key(t, "_FONTSIZE"));
    record.cnxFile = get("CNX_FILE");
    record.checkEvery = get("CHECK_EVERY");
    record.defaultEditor = get("DEFAULT_EDITOR");
    record.escExits = get("ESC_EXITS");
    record.tcpPort = get("TCP_PORT");
    record.resourcePath = get("RESOURCE_PATH");
    record.tcpListen = get("TCP_LISTEN");
    record.tcpAllow = get("TCP_ALLOW");
    record.tcpCommands = get("TCP_COMMANDS");
    if (withQueuePath)
        record.queuePath = get("QUEUE_PATH");
    return true;
}

void applyStartupDefaults(SettingsRecord &record)
{
    if (record.defaultEditor.empty())
        record.defaultEditor = kDefaultEditor;
}

std::string settingsFileText(const SettingsRecord &r, const Messages &messages)
{
    std::string out;
    auto line = [&out](std::string_view s) {
        out += s;
        out += "\r\n";
    };
    auto comment = [&](int n) { line("#" + messages.text(n)); };
    auto value = [&](const std::string &k, const std::string &v) { line(k + "=" + v); };

    for (int n : {211, 212, 213, 214})
        comment(n);
    line("#");
    const QDateTime now = QDateTime::currentDateTime();
    line("#" + messages.text(215) + now.toString("yyyy-MM-dd").toStdString() + " " +
         now.toString("HH:mm:ss").toStdString());
    line("#");
    value("QUEUE_PATH", r.queuePath);
    line("#");
    comment(216);
    value("PRINT_KEL", r.printKel);
    value("PRINT_KEZ", r.printKez);
    value("PRINT_TXT", r.printTxt);
    line("#");
    comment(217);
    for (DocType t : kAllTypes)
        value(key(t, "_PRINTER"), r.row(t).printer);
    line("#");
    comment(218);
    for (DocType t : kTextTypes)
        value(key(t, "_ORIENTATION"), r.row(t).orientation);
    line("#");
    comment(274);
    for (DocType t : kTextTypes)
        value(key(t, "_CONVERSION"), r.conversions[textIndex(t)]);
    line("#");
    comment(219);
    for (DocType t : kTextTypes)
        value(key(t, "_LENGTH"), r.row(t).length);
    line("#");
    comment(220);
    for (DocType t : kTextTypes)
        value(key(t, "_WIDTH"), r.row(t).width);
    line("#");
    comment(221);
    for (DocType t : kTextTypes)
        value(key(t, "_FONTNAME"), r.row(t).fontName);
    line("#");
    comment(222);
    for (DocType t : kTextTypes)
        value(key(t, "_FONTSIZE"), r.row(t).fontSize);
    line("#");
    comment(223);
    value("CNX_FILE", r.cnxFile);
    value("CHECK_EVERY", r.checkEvery);
    line("#");
    value("DEFAULT_EDITOR", r.defaultEditor);
    value("ESC_EXITS", r.escExits);
    if (!r.tcpPort.empty())
        value("TCP_PORT", r.tcpPort);
    if (!r.resourcePath.empty())
        value("RESOURCE_PATH", r.resourcePath);
    if (!r.tcpListen.empty())
        value("TCP_LISTEN", r.tcpListen);
    if (!r.tcpAllow.empty())
        value("TCP_ALLOW", r.tcpAllow);
    if (!r.tcpCommands.empty())
        value("TCP_COMMANDS", r.tcpCommands);
    line("#");
    line("#EOF");
    return out;
}

Status saveSettings(const std::string &path, const SettingsRecord &record, const Messages &messages)
{
    // An installed program's folder (share/kel under its prefix) is usually
    // not the user's to write: say so, with the folder, rather than fail
    // without a word. KEL_HOME names a folder of the user's own.
    if (writeFile(path, settingsFileText(record, messages)))
        return {};
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const char *why =
        access(folder.c_str(), W_OK) != 0 ? std::strerror(errno) : "cannot be written";
    return refusal(294, path + ": " + why + " (set KEL_HOME to a folder of your own)");
}

} // namespace kel
