// Template data merged into templates.
#include "documents/opening.h"
#include "documents/templates.h"
#include "support/testenv.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kel;
using test::crlf;

namespace {

// Merges `data` (with a TEMPLATE line for t.kel added first) into the
// template and returns the output, "" when nothing was written.
std::string merge(test::TempDir &dir, const std::string &data, const std::string &templ,
                  TemplateStatus *status = nullptr)
{
    dir.write("t.kel", templ);
    const std::string out = dir.file("out.kel");
    std::filesystem::remove(out);
    const TemplateResult r =
        processTemplate(dir.write("d.kez", "TEMPLATE=" + dir.file("t.kel") + "\r\n" + data), out);
    if (status)
        *status = r.status;
    std::string text;
    readFile(out, text);
    return text;
}

} // namespace

TEST(Templates, Placeholders)
{
    struct Case
    {
        const char *name;
        std::string data;
        std::string templ;
        std::string output;
    };
    const Case cases[] = {
        {"capitals and appended blank", "@COLOUR=blue\r\n", "Paint it @colour\r\n",
         "Paint it blue \r\n"},
        {"value keeps later =", "@EXPR=a=b\r\n", "@expr\r\n", "a=b \r\n"},
        {"blanks after = kept", "  @A= x  \r\n", "(@a)\r\n", "( x) \r\n"},
        {"DOIT stops reading", "@A=1\r\nDOIT\r\n@B=2\r\n", "@A @B\r\n", "1 @B \r\n"},
        {"redefined takes the new value", "@A=1\r\n@a=2\r\n", "@A\r\n", "2 \r\n"},
        {"each end character", "@V=x\r\n", "@V'@V;@V.@V @V)@V(@V}@V{@V,@V=\r\n",
         "x'x;x.x x)x(x}x{x,x= \r\n"},
        {"unknown word left as written", "@NAME=Ann\r\n",
         "mail ann@example.com or @nobody, @name\r\n", "mail ann@example.com or @nobody, Ann \r\n"},
        {"value filled through", "@A=(@B)\r\n@B=inner\r\n", "@A\r\n", "(inner) \r\n"},
        {"scan resumes after an unknown word", "@A=1\r\n", "@A] @A@A\r\n", "@A] @A1 \r\n"},
        {"lines without @ untouched", "@A=1\r\n", "{F=arial}\r\n\r\n", "{F=arial} \r\n \r\n"},
        {"other lines ignored", "# remark\r\nA=1\r\n@A=2\r\n", "@A\r\n", "2 \r\n"},
    };
    for (const Case &c : cases) {
        test::TempDir dir;
        EXPECT_EQ(merge(dir, c.data, c.templ), c.output) << c.name;
    }
}

TEST(Templates, ScanStopsAtCharacter1000)
{
    test::TempDir dir;
    const std::string pad(999, 'x'); // the first "@" is character 1000
    EXPECT_EQ(merge(dir, "@A=1\r\n", pad + "@A @A\r\n"), pad + "1 @A \r\n");
}

TEST(Templates, SelfReferringValuesStayBounded)
{
    test::TempDir dir;
    // Each pass inserts the placeholder again; the scan limit ends it.
    TemplateStatus status{};
    const std::string out = merge(dir, "@A=x@A\r\n", "@A\r\n", &status);
    EXPECT_EQ(status, TemplateStatus::Written);
    EXPECT_LT(out.size(), 2100u);
    EXPECT_EQ(out.substr(0, 4), "xxxx");

    // A long value holding itself twice would double its line every pass.
    std::string value;
    for (int i = 0; i < 2000; ++i)
        value += "@A ";
    EXPECT_EQ(merge(dir, "@A=" + value + "\r\n", "@A\r\n", &status), "");
    EXPECT_EQ(status, TemplateStatus::LineTooLong);
}

TEST(Templates, Refusals)
{
    test::TempDir dir;
    const std::string out = dir.file("out.kel");
    dir.write("t.kel", "@A\r\n");
    std::string many = "TEMPLATE=t.kel\r\n";
    for (int i = 0; i < 10000; ++i)
        many += "@V" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    std::string five = "TEMPLATE=t.kel\r\n";
    for (int i = 0; i < kMaxTemplateVariables; ++i)
        five += "@V" + std::to_string(i) + "=x\r\n";
    struct Case
    {
        const char *name;
        std::string data;
        TemplateStatus status;
    };
    const Case cases[] = {
        {"no template", "@A=1\r\n", TemplateStatus::NoTemplate},
        {"template after DOIT", "DOIT\r\nTEMPLATE=t.kel\r\n", TemplateStatus::NoTemplate},
        {"missing template", "TEMPLATE=missing.kel\r\n", TemplateStatus::CannotReadTemplate},
        {"names itself", "TEMPLATE=d.kez\r\n@A=1\r\n", TemplateStatus::TemplateIsData},
        {"10,000 variables", many, TemplateStatus::TooManyVariables},
        {"500 variables fit", five, TemplateStatus::Written},
        {"relative name beside the data", "TEMPLATE= t.kel \r\n", TemplateStatus::Written},
    };
    for (const Case &c : cases) {
        std::filesystem::remove(out);
        const TemplateResult r = processTemplate(dir.write("d.kez", c.data), out);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(std::filesystem::exists(out), c.status == TemplateStatus::Written) << c.name;
        EXPECT_EQ(r.detail.empty(), r.ok()) << c.name;
    }
    EXPECT_EQ(processTemplate(dir.file("nothing.kez"), out).status, TemplateStatus::CannotReadData);
}

TEST(Templates, OpeningMergesTemplateData)
{
    test::TestEnvironment env;
    env.dir.write("inv.kel", crlf({"REPORT_TITLE=Invoice @NO", "[HEADER]", "[DATA]",
                                   "{100}Customer: @CUSTOMER;"}));
    for (const char *name : {"a.kez", "a.KZ"}) {
        const std::string data =
            env.dir.write(name, crlf({"TEMPLATE=inv.kel", "@NO=42", "@Customer=ACME Ltd"}));
        const Opened r = openDocument(
            data, {env.folders, env.messages, env.settings, env.prompter, env.warnings}, {});
        ASSERT_TRUE(r.ok()) << name << r.refusal().detail;
        EXPECT_EQ(r.value()->settings.title, "Invoice 42") << name;
        EXPECT_EQ(r.value()->lines.record(2), "{100}Customer: ACME Ltd;") << name;
    }
    const Opened missing =
        openDocument(env.dir.file("none.kez"),
                     {env.folders, env.messages, env.settings, env.prompter, env.warnings}, {});
    EXPECT_EQ(missing.message(), 134);
}
