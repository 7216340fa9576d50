// The markup interpreter: one line renderer and one command interpreter for
// the screen and the printer.
//
// A line is cut into text segments and command groups by the one markup
// tokenizer (documents/markupline.h). Text segments are placed at lineX by
// the alignment, trimmed or not, and printed on the surface (or drawn as
// Code 39 in barcode mode); groups are split at ";" into at most
// kMaxCommands commands, each executed in order. The line moves go through
// moveLine() (render/linemoves.h), which the scanning walk uses too. The
// printer is a Target of the same interpreter, not a copy of it: there the
// zoom is not applied, explicit vertical positions are moved down by the
// top margin, "\N" and "\P" move the surface's y relatively, "W" is four
// times wider, the screen-only commands are unknown, and EXEC runs "PRINT"
// targets.
//
// Bad markup never stops a page: unknown commands and bad attribute values
// are reported as markup warnings, values a surface refuses as refusals
// (the failure message 207), both to the Diagnostics sink of the walk; the
// front end shows them, and drawing goes on.
#pragma once

#include "documents/markupline.h"
#include "render/drawingstate.h"

#include <string>
#include <string_view>

namespace kel {

class AllowedFolders;

class Clock;
struct DocumentSettings;
class ExternalCommands;
struct FindState;
class LinkAreas;
class PageState;
class PictureCache;
class Surface;
class Diagnostics;
class Messages;

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
    const Messages &messages;
    Diagnostics &diagnostics;
    const Clock &clock;
    // Folder of pictures named without a folder; empty: the working folder.
    std::string pictureFolder;
    // The number of the page being walked, which "PAG" prints.
    int page = 1;
    // Pictures read earlier for this document; none kept when null.
    PictureCache *pictures = nullptr;
    // When set, a picture is read only from these folders (a report from
    // another machine names no file of its own choosing).
    const AllowedFolders *allowedPictures = nullptr;
};

// The commands whose effect a page hands on to the next: the font name
// ("F"), the font size ("S") and the barcode mode ("BAR", "NOBAR"). Every
// other setting of the markup is reset at the start of each page walk.
struct CarriedCommand
{
    enum class Kind { None, FontName, FontSize, BarOn, BarOff };
    Kind kind = Kind::None;
    std::string_view fontName; // FontName: the value, trimmed (a view into the command)
    double fontSize = 0;       // FontSize: points, before the zoom
};

// Which carried command `command` is (trimmed; `upperCommand` is it
// upper-cased); Kind::None for every other command.
CarriedCommand carriedCommandOf(std::string_view command, std::string_view upperCommand);

// A carried command followed without a surface, as a walk that draws
// nothing does: what a surface would accept for `target` (on the screen at
// d.zoomFactor) is taken, what it would refuse is not.
void carryWithoutSurface(const CarriedCommand &command, DrawingState &d, Target target);

// The folder of pictures for a document read from `originalPath`.
std::string pictureFolderOf(const std::string &originalPath);

class MarkupInterpreter : private MarkupHandler
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
    // The tokenizer's calls: a text segment, a completed group.
    void text(std::string_view segment) override;
    void group(const MarkupGroup &group) override;

    void flushSegment(std::string_view segment);
    void applyCarried(std::string_view command, const CarriedCommand &carried);
    void executeKeyword(std::string_view command, const std::string &upperCommand);
    void executeKeyed(std::string_view command, const std::string &key, std::string_view value);
    void printField(std::string_view text);
    void setFlag(int kind, std::string_view command, std::string_view value);
    void commandFailed(std::string_view command);
    void warn(int number, std::string text);
    void warnPair(int first, std::string_view command, int second);
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
