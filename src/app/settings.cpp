#include "app/settings.h"

#include "app/atomicfile.h"
#include "app/keyvalue.h"
#include "app/messages.h"
#include "app/text.h"

#include <QDateTime>
#include <filesystem>

namespace kel {
namespace {

size_t textIndex(DocType t)
{
    return static_cast<size_t>(t) - static_cast<size_t>(DocType::Txt);
}

// Where a key's value lives in the record.
using Field = std::string &(*)(SettingsRecord &);

template <std::string SettingsRecord::*Member> std::string &member(SettingsRecord &r)
{
    return r.*Member;
}
template <DocType Type, std::string TypeRow::*Column> std::string &column(SettingsRecord &r)
{
    return r.row(Type).*Column;
}
template <DocType Type> std::string &conversionOf(SettingsRecord &r)
{
    return r.conversions[textIndex(Type)];
}

// One line of KEL.INI as the save command writes it. A key line also says
// where its value lives, whether it is written when empty, and whether it is
// read only with the queue path.
struct SettingsLine
{
    enum class Kind { Comment, Hash, Stamp, Key };
    enum class Written { Always, WhenSet };

    Kind kind = Kind::Hash;
    int message = 0;           // Comment: "#" and this message's text
    const char *key = nullptr; // Key: "KEY=value"
    Field field = nullptr;
    Written written = Written::Always;
    bool queuePathOnly = false;
};

constexpr SettingsLine comment(int message)
{
    return {SettingsLine::Kind::Comment, message};
}
constexpr SettingsLine hash()
{
    return {SettingsLine::Kind::Hash};
}
constexpr SettingsLine stamp()
{
    return {SettingsLine::Kind::Stamp, 215};
}
constexpr SettingsLine key(const char *name, Field field)
{
    return {SettingsLine::Kind::Key, 0, name, field};
}
// A key written only when it has a value, so files saved without it read
// back unchanged.
constexpr SettingsLine keyWhenSet(const char *name, Field field)
{
    return {SettingsLine::Kind::Key, 0, name, field, SettingsLine::Written::WhenSet};
}

using R = SettingsRecord;
using K = DocType;

// The whole file in the order it is written; loading reads every key of it.
// A new key is one row, before the last "#".
constexpr SettingsLine kLines[] = {
    comment(211),
    comment(212),
    comment(213),
    comment(214),
    hash(),
    stamp(),
    hash(),
    {SettingsLine::Kind::Key, 0, "QUEUE_PATH", member<&R::queuePath>, SettingsLine::Written::Always,
     true},
    hash(),
    comment(216),
    key("PRINT_KEL", member<&R::printKel>),
    key("PRINT_KEZ", member<&R::printKez>),
    key("PRINT_TXT", member<&R::printTxt>),
    hash(),
    comment(217),
    key("KEL_PRINTER", column<K::Kel, &TypeRow::printer>),
    key("KEZ_PRINTER", column<K::Kez, &TypeRow::printer>),
    key("TXT_PRINTER", column<K::Txt, &TypeRow::printer>),
    key("LST_PRINTER", column<K::Lst, &TypeRow::printer>),
    key("PRN_PRINTER", column<K::Prn, &TypeRow::printer>),
    hash(),
    comment(218),
    key("TXT_ORIENTATION", column<K::Txt, &TypeRow::orientation>),
    key("LST_ORIENTATION", column<K::Lst, &TypeRow::orientation>),
    key("PRN_ORIENTATION", column<K::Prn, &TypeRow::orientation>),
    hash(),
    comment(274),
    key("TXT_CONVERSION", conversionOf<K::Txt>),
    key("LST_CONVERSION", conversionOf<K::Lst>),
    key("PRN_CONVERSION", conversionOf<K::Prn>),
    hash(),
    comment(219),
    key("TXT_LENGTH", column<K::Txt, &TypeRow::length>),
    key("LST_LENGTH", column<K::Lst, &TypeRow::length>),
    key("PRN_LENGTH", column<K::Prn, &TypeRow::length>),
    hash(),
    comment(220),
    key("TXT_WIDTH", column<K::Txt, &TypeRow::width>),
    key("LST_WIDTH", column<K::Lst, &TypeRow::width>),
    key("PRN_WIDTH", column<K::Prn, &TypeRow::width>),
    hash(),
    comment(221),
    key("TXT_FONTNAME", column<K::Txt, &TypeRow::fontName>),
    key("LST_FONTNAME", column<K::Lst, &TypeRow::fontName>),
    key("PRN_FONTNAME", column<K::Prn, &TypeRow::fontName>),
    hash(),
    comment(222),
    key("TXT_FONTSIZE", column<K::Txt, &TypeRow::fontSize>),
    key("LST_FONTSIZE", column<K::Lst, &TypeRow::fontSize>),
    key("PRN_FONTSIZE", column<K::Prn, &TypeRow::fontSize>),
    hash(),
    comment(223),
    key("CNX_FILE", member<&R::cnxFile>),
    key("CHECK_EVERY", member<&R::checkEvery>),
    hash(),
    key("DEFAULT_EDITOR", member<&R::defaultEditor>),
    key("ESC_EXITS", member<&R::escExits>),
    keyWhenSet("TCP_PORT", member<&R::tcpPort>),
    keyWhenSet("RESOURCE_PATH", member<&R::resourcePath>),
    keyWhenSet("JOB_LOG", member<&R::jobLog>),
    keyWhenSet("EXEC_ALLOWED", member<&R::execAllowed>),
    keyWhenSet("SETTLE_SECONDS", member<&R::settleSeconds>),
    keyWhenSet("TCP_LISTEN", member<&R::tcpListen>),
    keyWhenSet("TCP_ALLOW", member<&R::tcpAllow>),
    keyWhenSet("TCP_COMMANDS", member<&R::tcpCommands>),
    hash(),
};

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
    for (const SettingsLine &l : kLines) {
        if (l.kind == SettingsLine::Kind::Key && (withQueuePath || !l.queuePathOnly))
            l.field(record) = readKeyValueIn(text, l.key);
    }
    return true;
}

void applyStartupDefaults(SettingsRecord &record)
{
    if (record.defaultEditor.empty())
        record.defaultEditor = kDefaultEditor;
}

std::string settingsFileText(const SettingsRecord &r, const Messages &messages)
{
    // The table's accessors fill a record when loading; a copy of the record
    // lets the same accessors read it here.
    SettingsRecord record = r;
    const QDateTime now = QDateTime::currentDateTime();
    std::string out;
    for (const SettingsLine &l : kLines) {
        switch (l.kind) {
        case SettingsLine::Kind::Comment:
            out += "#" + messages.text(l.message);
            break;
        case SettingsLine::Kind::Hash:
            out += "#";
            break;
        case SettingsLine::Kind::Stamp:
            out += "#" + messages.text(l.message) + now.toString("yyyy-MM-dd").toStdString() + " " +
                   now.toString("HH:mm:ss").toStdString();
            break;
        case SettingsLine::Kind::Key: {
            const std::string &value = l.field(record);
            if (l.written == SettingsLine::Written::WhenSet && value.empty())
                continue;
            out += std::string(l.key) + "=" + value;
            break;
        }
        }
        out += "\r\n";
    }
    out += "#EOF\r\n";
    return out;
}

Status saveSettings(const std::string &path, const SettingsRecord &record, const Messages &messages)
{
    // A KEL.INI that links to a file elsewhere (an administrator's copy
    // under /etc) is rewritten there and stays linked.
    std::error_code ec;
    const std::string target = std::filesystem::is_symlink(path, ec)
                                   ? std::filesystem::canonical(path, ec).string()
                                   : path;
    const Status saved =
        writeFileAtomically(ec ? path : target, settingsFileText(record, messages));
    if (saved)
        return {};
    // An installed program's folder (share/kel under its prefix) is usually
    // not the user's to write: say so, with the file and why, rather than
    // fail without a word. KEL_HOME names a folder of the user's own.
    return refusal(294, saved.refusal().detail + " (set KEL_HOME to a folder of your own)");
}

} // namespace kel
