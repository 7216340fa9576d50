#include "documents/packed.h"

#include "app/shift.h"

namespace kel {

bool isPackedReportStart(std::string_view b)
{
    return b.size() >= 5 && b[0] == '2' && b[1] == '2' && b[2] == 3 && b[3] == 4 && b[4] == 20;
}

bool isContainerStart(std::string_view firstLine)
{
    if (firstLine.size() != 432)
        return false;
    const std::string plain = shiftUp(firstLine, scramblingKey());
    return plain.compare(0, 9, "***BOF***") == 0 && plain.compare(425, 7, "***EOL.") == 0;
}

bool unpackPackedFile(std::string &, const Folders &, std::string &error)
{
    error = "packed reports are not supported yet";
    return false;
}

std::string listMembers(const std::string &)
{
    return {};
}

bool extractMembers(const std::string &, const std::string &, std::string &error)
{
    error = "containers are not supported yet";
    return false;
}

} // namespace kel
