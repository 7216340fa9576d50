#include "documents/documentsettings.h"

#include "app/text.h"

namespace kel {

const PaperSize *findPaperSize(std::string_view upperName)
{
    static const PaperSize table[] = {
        {"LETTER", 15840, 12240},    {"A4", 16840, 11907}, {"LEGAL", 20160, 12240},
        {"EXECUTIVE", 15120, 10440}, {"B5", 14572, 10320}, {"ENVELOPE10", 13680, 5933},
        {"ENVELOPEDL", 12474, 6237},
    };
    for (const PaperSize &p : table) {
        if (upperName == p.name)
            return &p;
    }
    return nullptr;
}

bool DocumentSettings::landscape() const
{
    return leadingNumber(orientation) == 2;
}

} // namespace kel
