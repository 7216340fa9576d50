// The loader over every document type, in memory. The first byte chooses
// the type (its low three bits) and the size of the pieces the include pass
// is fed in (the rest); the other bytes are the document:
//   0 a report;  1 a listing;  2 template data, a NUL, then the template;
//   3 a container;  4 a packed report;  5-7 a report fed one byte at a time.
// Each takes the steps openDocument takes for that type, with the files of
// the temporary folder kept in memory.
#include "app/text.h"
#include "documents/packed.h"
#include "documents/templates.h"
#include "documents/textconvert.h"
#include "fuzzsupport.h"

#include <cstdint>
#include <string_view>

namespace {

using kel::fuzz::openReportBytes;
using kel::fuzz::require;

// An accepted document holds what the loader promises.
void check(const kel::Opened &r)
{
    if (!r.ok())
        return;
    const kel::Document &d = *r.value();
    require(d.lines.count() >= 2);
    require(d.lines.record(d.lines.count()) == "END_OF_FILE");
    for (int n = 2; n < d.lines.count(); ++n)
        require(d.lines.raw(n).size() <= kel::LineStore::kMaxRecordLength);
    require(static_cast<int>(d.settings.prologueLines.size()) <= kel::kMaxPrologueLines);
    require(static_cast<int>(d.settings.namedPositions.size()) <= kel::kMaxNamedPositions);
}

void openContainer(std::string_view bytes, size_t piece)
{
    std::vector<kel::ContainerMember> members;
    std::vector<std::string> names;
    std::string error;
    if (!kel::readMembersFrom(bytes, members, error) ||
        !kel::memberFileNames(members, names, error))
        return;
    const kel::ContainerMember &report = members.front();
    check(openReportBytes(bytes.substr(report.offset, report.length), piece));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    const int type = data[0] & 7;
    const size_t piece = type >= 5 ? 1 : (data[0] >> 3) + 1;
    switch (type) {
    case 1:
        check(openReportBytes(kel::listingToReport(bytes, "listing.txt", {}), piece));
        break;
    case 2: {
        const size_t cut = bytes.find('\0');
        if (cut == std::string_view::npos)
            break;
        std::string filled;
        if (kel::fillTemplate(bytes.substr(cut + 1), kel::parseTemplateData(bytes.substr(0, cut)),
                              filled, "template", 1 << 20)
                .ok())
            check(openReportBytes(filled, piece));
        break;
    }
    case 3:
        openContainer(bytes, piece);
        break;
    case 4: {
        std::string entry;
        std::string error;
        if (!kel::isPackedReportStart(bytes.substr(0, 5)) ||
            !kel::unpackPackedBytes(bytes, entry, error))
            break;
        std::string_view first;
        kel::LineSplitter splitter(entry);
        if (splitter.next(first) && kel::isContainerStart(first))
            openContainer(entry, piece);
        else
            check(openReportBytes(entry, piece));
        break;
    }
    default:
        check(openReportBytes(bytes, piece));
        break;
    }
    return 0;
}
