// Template data and templates: the input up to its first NUL is a data file,
// the rest a template. The filled template stays within its limit and every
// line it writes ends in a blank and CR LF.
#include "app/text.h"
#include "documents/templates.h"
#include "fuzzsupport.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t cut = input.find('\0');
    const kel::TemplateData templateData = kel::parseTemplateData(input.substr(0, cut));
    kel::fuzz::require(templateData.variables.size() <= kel::kMaxTemplateVariables);
    if (cut == std::string_view::npos)
        return 0;
    constexpr uint64_t kLimit = 1 << 20;
    std::string out;
    const kel::TemplateResult r =
        kel::fillTemplate(input.substr(cut + 1), templateData, out, "template", kLimit);
    kel::fuzz::require(out.size() <= kLimit);
    kel::fuzz::require(r.ok() || out.empty());
    if (r.ok())
        kel::fuzz::openReportBytes(out);
    return 0;
}
