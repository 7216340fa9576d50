// Diagnostics of a page walk: reported as values during the walk, shown by
// the front end afterwards with the same texts, numbers and switch-off as
// boxes raised during the walk would have.
#include "harness.h"
#include "render/diagnostics.h"

#include <gtest/gtest.h>

using namespace kel;
using test::Harness;

namespace {

const std::vector<std::string> kBadMarkup = {"{FOO}{BAR2}{S=-1}x", "{B=Q}"};

struct Shown
{
    int number;
    std::string text;
    PromptIcon icon;
    PromptButtons buttons;
    bool operator==(const Shown &) const = default;
};

std::vector<Shown> shown(const ScriptedPrompter &prompter)
{
    std::vector<Shown> out;
    for (const Prompt &p : prompter.prompts())
        out.push_back({p.number, p.text.toStdString(), p.icon, p.buttons});
    return out;
}

} // namespace

TEST(Diagnostics, CollectedDuringTheWalkAndShownAfterAsAtOnce)
{
    for (const Answer answer : {Answer::Yes, Answer::No}) {
        SCOPED_TRACE(answer == Answer::Yes ? "Yes to the first warning" : "No to every warning");
        // The boxes raised while the page is drawn, as keltool and the tests
        // show them.
        Harness atOnce(kBadMarkup);
        for (int i = 0; i < 3; ++i)
            atOnce.env.prompter.queueAnswer(answer);
        atOnce.screen();

        Harness later(kBadMarkup);
        CollectingDiagnostics collected(&later.env.warnings);
        RenderEngine engine(
            later.document,
            RenderServices{later.env.messages, collected, later.commands, later.find, later.clock});
        RecordingSurface surface;
        ASSERT_TRUE(engine.drawPage(1, surface));
        EXPECT_TRUE(later.env.prompter.prompts().empty()); // no box inside the walk
        std::vector<int> numbers;
        for (const Diagnostic &d : collected.pending())
            numbers.push_back(d.number);
        EXPECT_EQ(numbers, (std::vector<int>{205, 205, 207, 199}));
        EXPECT_EQ(collected.pending()[2].kind, DiagnosticKind::RefusedValue);
        EXPECT_EQ(collected.pending()[2].text, "S=-1. message 207");

        for (int i = 0; i < 3; ++i)
            later.env.prompter.queueAnswer(answer);
        PromptingDiagnostics boxes(later.env.warnings);
        collected.deliverTo(boxes);
        EXPECT_TRUE(collected.pending().empty());
        EXPECT_EQ(shown(later.env.prompter), shown(atOnce.env.prompter));
        EXPECT_EQ(later.env.warnings.enabled(), answer == Answer::No);
    }
}

TEST(Diagnostics, CollectionIsBounded)
{
    std::string line;
    for (int i = 0; i < 1500; ++i)
        line += "{FOO}{S=-1}";
    Harness h({line});
    CollectingDiagnostics collected(&h.env.warnings);
    RenderEngine engine(h.document,
                        RenderServices{h.env.messages, collected, h.commands, h.find, h.clock});
    RecordingSurface surface;

    // Switched off, markup warnings are not kept; refusals are, up to the bound.
    h.env.warnings.setEnabled(false);
    engine.drawPage(1, surface);
    ASSERT_EQ(collected.pending().size(), CollectingDiagnostics::kMaxKept);
    for (const Diagnostic &d : collected.pending())
        ASSERT_EQ(d.number, 207);
    collected.clear();

    h.env.warnings.setEnabled(true);
    engine.drawPage(1, surface);
    ASSERT_EQ(collected.pending().size(), CollectingDiagnostics::kMaxKept);
    EXPECT_EQ(collected.pending()[0].number, 205);
    EXPECT_EQ(collected.pending()[1].number, 207);
}

TEST(Diagnostics, OneLineForALog)
{
    std::vector<std::string> logged;
    CallbackDiagnostics log([&](const Diagnostic &d) { logged.push_back(oneLine(d)); });
    Harness h({"{foo;C=99}x"});
    RenderEngine engine(h.document,
                        RenderServices{h.env.messages, log, h.commands, h.find, h.clock});
    RecordingSurface surface;
    engine.printPage(1, surface);
    EXPECT_EQ(logged, (std::vector<std::string>{"message 205 FOO message 206 [205]",
                                                "C=99. message 207 [207]"}));
}
