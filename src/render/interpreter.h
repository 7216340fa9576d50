// The markup interpreter: one line renderer and one command interpreter for
// the screen and the printer.
//
// A line is cut into text segments and command groups. Text segments are
// placed at lineX by the alignment, trimmed or not, and printed on the
// surface (or drawn as Code 39 in barcode mode); groups are split at ";"
// into at most kMaxCommands commands, each executed in order. The printer
// is a Target of the same interpreter, not a copy of it: there the zoom is
// not applied, explicit vertical positions are moved down by the top
// margin, "\N" and "\P" move the surface's y relatively, "W" is four times
// wider, the screen-only commands are unknown, and EXEC runs "PRINT" targets.
//
// Bad markup never stops a page: unknown commands and bad attribute values
// raise a markup warning (Warnings, switchable off); values a surface
// refuses raise the failure message (207, exclamation icon) through the
// Prompter, and drawing goes on.
#pragma once

#include "render/drawingstate.h"

#include <string>
#include <string_view>
#include <vector>

namespace kel {

class Clock;
struct DocumentSettings;
class ExternalCommands;
struct FindState;
class LinkAreas;
class PageState;
class PictureCache;
class Surface;
class Warnings;

// What the interpreter reads and changes; all owned elsewhere (the render
// engine of the open document, or a test).
struct RenderContext
{
    const DocumentSettings &settings;
    PageState &pages;
    DrawingState &drawing;
    LinkAreas &links;
    FindState &find;
    ExternalCommands &commands;
    Warnings &warnings;
    const Clock &clock;
    // Folder of pictures named without a folder; empty: the working folder.
    std::string pictureFolder;
    // The number of the page being walked, which "PAG" prints.
    int page = 1;
    // Pictures read earlier for this document; none kept when null.
    PictureCache *pictures = nullptr;
};

// More commands in one group than this are not executed: the first
// kMaxCommands run and the rest of the group is ignored.
inline constexpr int kMaxCommands = 20;

// Splits a group's text into its commands (views into `group`): the text is
// trimmed, one leading `open` and one trailing `close` are removed, and the
// rest is cut at ";" into trimmed commands, at most kMaxCommands of them.
// An empty rest gives one empty command.
std::vector<std::string_view> splitGroup(std::string_view group, char open, char close);

// The value of a spacing command: the number after its first "=", 0 when
// there is none. Both walks read "SPACING" commands through this.
double spacingValue(std::string_view command);

// The folder of pictures for a document read from `originalPath`.
std::string pictureFolderOf(const std::string &originalPath);

class MarkupInterpreter
{
public:
    MarkupInterpreter(RenderContext &context, Surface &surface, Target target);

    // Draws one markup line (a prologue line, the COMMON line or a record).
    void renderLine(std::string_view line);
    // Executes one command of a group (already trimmed).
    void executeCommand(std::string_view command);

    // The start of a page: alignment, trimming, attributes, colour, line
    // width and link state reset; the kept font applied to the surface.
    void resetForPage();

    Target target() const { return m_target; }

private:
    void flushSegment(std::string_view segment);
    void executeKeyword(std::string_view command, const std::string &upperCommand);
    void executeKeyed(std::string_view command, const std::string &key, std::string_view value);
    void moveLine(double direction);
    void printField(std::string_view text);
    void setFlag(int kind, std::string_view command, std::string_view value);
    void commandFailed(std::string_view command);
    void unknownCommand(std::string_view command);
    double scaled(double pageUnits) const;
    double scaledY(double pageUnits) const;

    void drawLine(std::string_view value);
    void drawXyLine(std::string_view value);
    void moveXy(std::string_view value);
    void drawBox(std::string_view command, std::string_view value, bool filled);
    void drawCircle(std::string_view command, std::string_view value);
    void drawPicture(std::string_view command, std::string_view value);
    void runExternal(std::string_view value);
    void setColor(std::string_view command, std::string_view value);

    RenderContext &m_context;
    Surface &m_surface;
    Target m_target;
};

} // namespace kel
