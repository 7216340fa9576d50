// The markup interpreter.
//
// Design: renderLine() hands the line to the markup tokenizer, which calls
// back text() for each text segment (drawn by flushSegment()) and group()
// for each completed group (split by splitGroup() and run command by
// command through executeCommand()). executeCommand() first applies the
// line moves through moveLine(), the routine the scanning walk uses too,
// then tells plain
// numbers and "$" names (positions) from keywords and KEY=value commands,
// then dispatches on the upper-cased key. Screen and printer run through
// the same code; the few places where the printer differs test m_target and
// are marked "printer:". All coordinates of markup go through scaled() and
// scaledY(): the zoom on the screen, the top margin for vertical positions
// on the printer.
#include "render/interpreter.h"

#include "app/allowedfolders.h"
#include "app/files.h"
#include "app/messages.h"
#include "app/text.h"
#include "documents/documentsettings.h"
#include "render/clock.h"
#include "render/code39.h"
#include "render/diagnostics.h"
#include "render/externalcommands.h"
#include "render/findstate.h"
#include "render/linemoves.h"
#include "render/linkareas.h"
#include "render/picturecache.h"
#include "render/surface.h"

#include <QImage>
#include <QImageReader>
#include <cmath>

namespace kel {
namespace {

// A number of markup: the leading numeric part, 0 for none and for values
// too large to be a number at all.
double number(std::string_view text)
{
    const double v = leadingNumber(text);
    return std::isfinite(v) ? v : 0;
}

double roundHalfEven(double v)
{
    return std::nearbyint(v);
}

// The 16 colours of the console palette, 0 black to 15 bright white.
constexpr QRgb kPalette[16] = {
    qRgb(0, 0, 0),       qRgb(0, 0, 128),   qRgb(0, 128, 0),   qRgb(0, 128, 128),
    qRgb(128, 0, 0),     qRgb(128, 0, 128), qRgb(128, 128, 0), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(0, 0, 255),   qRgb(0, 255, 0),   qRgb(0, 255, 255),
    qRgb(255, 0, 0),     qRgb(255, 0, 255), qRgb(255, 255, 0), qRgb(255, 255, 255),
};

enum FlagKind { kBold, kUnderline, kItalic, kStrikeOut };

struct FlagCommand
{
    FontFlag flag;
    int firstMessage;
    int secondMessage;
};

constexpr FlagCommand kFlagCommands[] = {
    {FontFlag::Bold, 199, 200},
    {FontFlag::Underline, 201, 202},
    {FontFlag::Italic, 203, 204},
    {FontFlag::StrikeOut, 205, 206},
};

} // namespace

CarriedCommand carriedCommandOf(std::string_view command, std::string_view u)
{
    using Kind = CarriedCommand::Kind;
    const size_t eq = command.find('=');
    if (eq == std::string_view::npos) {
        if (u == "BAR")
            return {Kind::BarOn, {}, 0};
        if (u == "NOBAR")
            return {Kind::BarOff, {}, 0};
        return {};
    }
    const std::string_view key = u.substr(0, eq);
    if (key != "F" && key != "S")
        return {};
    std::string_view value = command.substr(eq + 1);
    value = value.substr(0, value.find('='));
    if (key == "F")
        return {Kind::FontName, trimmed(value), 0};
    return {Kind::FontSize, {}, number(value)};
}

void carryWithoutSurface(const CarriedCommand &c, DrawingState &d, Target target)
{
    using Kind = CarriedCommand::Kind;
    switch (c.kind) {
    case Kind::None:
        break;
    case Kind::FontName:
        if (acceptedFontName(c.fontName))
            d.fontName = std::string(c.fontName);
        break;
    case Kind::FontSize:
        if (acceptedFontSize(target == Target::Screen ? c.fontSize * d.zoomFactor : c.fontSize))
            d.fontSize = c.fontSize;
        break;
    case Kind::BarOn:
    case Kind::BarOff:
        d.barMode = c.kind == Kind::BarOn;
        break;
    }
}

std::string pictureFolderOf(const std::string &originalPath)
{
    const size_t slash = originalPath.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    return originalPath.substr(0, slash == 0 ? 1 : slash);
}

MarkupInterpreter::MarkupInterpreter(RenderContext &context, Surface &surface, Target target)
    : m_context(context), m_surface(surface), m_target(target)
{
}

double MarkupInterpreter::scaled(double pageUnits) const
{
    return m_target == Target::Screen ? pageUnits * m_context.drawing.zoomFactor : pageUnits;
}

double MarkupInterpreter::scaledY(double pageUnits) const
{
    // printer: the top margin is the engine's to add; on the screen the
    // page picture's origin carries it.
    return m_target == Target::Screen ? pageUnits * m_context.drawing.zoomFactor
                                      : pageUnits + m_context.settings.topMargin;
}

void MarkupInterpreter::resetForPage()
{
    DrawingState &d = m_context.drawing;
    d.resetForPage();
    m_context.links.clear();
    // The font carries over from page to page; a new surface gets it here.
    if (!m_surface.setFontName(d.fontName))
        m_surface.setFontName("arial");
    if (!m_surface.setFontSize(scaled(d.fontSize)))
        m_surface.setFontSize(8);
    m_surface.setFontFlag(FontFlag::Bold, false);
    m_surface.setFontFlag(FontFlag::Italic, false);
    m_surface.setFontFlag(FontFlag::Underline, false);
    m_surface.setFontFlag(FontFlag::StrikeOut, false);
    m_surface.setForeColor(Qt::black);
    m_surface.setLineWidth(1);
    m_surface.setLineStyle(LineStyle::Solid);
}

void MarkupInterpreter::renderLine(std::string_view line)
{
    const std::string_view t = trimmed(line);
    if (equalsNoCase(t, "[DATA]") || equalsNoCase(t, "END_OF_FILE"))
        return;

    m_context.drawing.lineX = 0;
    const DocumentSettings &s = m_context.settings;
    tokenizeLine(line, {s.openDelimiter, s.closeDelimiter}, m_context.drawing.groupText, *this);
}

void MarkupInterpreter::text(std::string_view segment)
{
    flushSegment(segment);
}

void MarkupInterpreter::group(const MarkupGroup &group)
{
    const DocumentSettings &s = m_context.settings;
    for (std::string_view command : splitGroup(group.text, {s.openDelimiter, s.closeDelimiter}))
        executeCommand(command);
}

void MarkupInterpreter::flushSegment(std::string_view segment)
{
    DrawingState &d = m_context.drawing;
    const std::string_view drawn = d.trimText ? trimmed(segment) : segment;
    const double width = m_surface.textWidth(drawn);
    double x = d.lineX;
    if (d.align == Align::Right)
        x -= width;
    else if (d.align == Align::Center)
        x -= width / 2;
    m_surface.setCurrentX(x);

    if (d.barMode) {
        drawCode39(m_surface, trimmed(segment), code39Multiplier(m_context.settings.barWidth),
                   scaled(1));
        return;
    }

    bool highlighted = false;
    if (m_target == Target::Screen) {
        const double y = m_surface.currentY();
        FindState &find = m_context.find;
        if (find.active() && find.matches(trimmed(segment))) {
            const QColor kept = m_surface.foreColor();
            m_surface.setForeColor(QColor(255, 255, 0));
            m_surface.filledBox(x, y, x + width, y + m_surface.textHeight(drawn));
            m_surface.setForeColor(kept);
            m_surface.setCurrentX(x);
            m_surface.setCurrentY(y);
            highlighted = true;
        }
        if (d.linkPending) {
            m_context.links.place(d.linkCount, QRectF(x, y, width, m_surface.textHeight(drawn)),
                                  d.linkTarget);
            d.linkPending = false;
        }
    }
    m_surface.print(drawn);
    if (highlighted)
        ++m_context.find.hits;
    d.lineX = m_surface.currentX();
}

void MarkupInterpreter::executeCommand(std::string_view command)
{
    DrawingState &d = m_context.drawing;
    const std::string u = upper(command);

    // The line moves first, through the routine the scanning walk uses, so
    // that both walks break pages alike. Spacing is recognised by its first
    // seven letters; without its "=" it still sets the spacing, and warns.
    const LineMoveTarget where{m_context.pages, m_target, m_context.settings.topMargin, &m_surface,
                               d.zoomFactor};
    if (const LineMove move = moveLine(u, where); move != LineMove::None) {
        if (move == LineMove::Spacing && u.compare(0, 8, "SPACING=") != 0)
            unknownCommand(command);
        return;
    }
    // Then what carries over to the next page, through the routine the
    // walks that draw nothing use too.
    if (const CarriedCommand carried = carriedCommandOf(command, u);
        carried.kind != CarriedCommand::Kind::None) {
        applyCarried(command, carried);
        return;
    }

    const size_t eq = command.find('=');
    if (eq == std::string_view::npos) {
        const double position = number(command);
        if (position > 0) {
            d.lineX = scaled(position);
            return;
        }
        if (!command.empty() && command.front() == '$') {
            for (const auto &[name, value] : m_context.settings.namedPositions) {
                if (name == u) {
                    d.lineX = scaled(number(value));
                    return;
                }
            }
            warn(209, m_context.messages.text(209) + " " + u);
            d.lineX = 0;
            return;
        }
        executeKeyword(command, u);
        return;
    }

    std::string_view value = command.substr(eq + 1);
    const size_t second = value.find('=');
    if (second != std::string_view::npos)
        value = value.substr(0, second);
    executeKeyed(command, u.substr(0, eq), value);
}

void MarkupInterpreter::applyCarried(std::string_view command, const CarriedCommand &carried)
{
    using Kind = CarriedCommand::Kind;
    // The surface refuses exactly what a walk without one skips, so the
    // state it keeps afterwards is the walk's.
    const bool refused =
        (carried.kind == Kind::FontName && !m_surface.setFontName(carried.fontName)) ||
        (carried.kind == Kind::FontSize && !m_surface.setFontSize(scaled(carried.fontSize)));
    if (refused) {
        commandFailed(command);
        return;
    }
    carryWithoutSurface(carried, m_context.drawing, m_target);
}

void MarkupInterpreter::executeKeyword(std::string_view command, const std::string &u)
{
    DrawingState &d = m_context.drawing;
    const bool printer = m_target == Target::Printer;

    if (u == "NOLINK" || u == "ENDLINK") {
        if (printer) // printer: not commands there
            unknownCommand(command);
        else
            d.linkPending = false;
    } else if (u == "E" || u == "T") {
        // accepted; nothing to do
    } else if (u == "PAG") {
        // The number as a number is printed: a blank for its sign and one after.
        printField(" " + std::to_string(m_context.page) + " ");
    } else if (u == "DATE" || u == "DAY" || u == "MONTH" || u == "YEAR" || u == "TIME" ||
               u == "HOUR" || u == "MINUTE" || u == "SECOND") {
        const QDateTime now = m_context.clock.now();
        QString text;
        if (u == "DATE")
            text = now.date().toString(QStringLiteral("dd/MM/yyyy"));
        else if (u == "DAY")
            text = QString::number(now.date().day());
        else if (u == "MONTH")
            text = QString::number(now.date().month());
        else if (u == "YEAR")
            text = QString::number(now.date().year());
        else if (u == "TIME")
            text = now.time().toString(QStringLiteral("HH:mm:ss"));
        else if (u == "HOUR")
            text = QString::number(now.time().hour());
        else if (u == "MINUTE")
            text = QString::number(now.time().minute());
        else
            text = QString::number(now.time().second());
        printField(toCp1252(text));
    } else {
        unknownCommand(command);
    }
}

void MarkupInterpreter::printField(std::string_view text)
{
    m_surface.print(text);
    m_context.drawing.lineX = m_surface.currentX();
}

void MarkupInterpreter::executeKeyed(std::string_view command, const std::string &key,
                                     std::string_view value)
{
    DrawingState &d = m_context.drawing;
    const bool printer = m_target == Target::Printer;
    const std::string v = upper(value);

    if (key == "REM") {
        return;
    } else if (key == "LINK") {
        if (printer) // printer: no effect
            return;
        d.linkTarget = std::string(command.substr(5));
        ++d.linkCount;
        d.linkPending = true;
    } else if (key == "EXEC" || key == "EXECUTE") {
        runExternal(value);
    } else if (key == "SND") {
        if (printer) // printer: not a command there
            unknownCommand(command);
    } else if (key == "PIC") {
        drawPicture(command, value);
    } else if (key == "TAB") {
        const double x = d.lineX + scaled(number(value));
        if (!acceptedCoordinate(x)) {
            commandFailed(command);
            return;
        }
        d.lineX = x;
        if (printer)
            m_surface.setCurrentX(x);
    } else if (key == "CIRCLE") {
        drawCircle(command, value);
    } else if (key == "BOX" || key == "BOXF") {
        drawBox(command, value, key == "BOXF");
    } else if (key == "LINE") {
        drawLine(value);
    } else if (key == "XYLINE") {
        drawXyLine(value);
    } else if (key == "XY") {
        moveXy(value);
    } else if (key == "TRIM" || key == "TR") {
        if (v == "Y" || v == "1" || v.empty()) {
            d.trimText = true;
        } else if (v == "N" || v == "0") {
            d.trimText = false;
        } else {
            warnPair(197, command, 274);
            d.trimText = true;
        }
    } else if (key == "A") {
        if (v == "L" || v.empty()) {
            d.align = Align::Left;
        } else if (v == "R") {
            d.align = Align::Right;
        } else if (v == "C") {
            d.align = Align::Center;
        } else {
            warnPair(197, command, 198);
            d.align = Align::Left;
        }
    } else if (key == "B" || key == "U" || key == "I" || (key == "ST" && !printer)) {
        const FlagKind kind = key == "B"   ? kBold
                              : key == "U" ? kUnderline
                              : key == "I" ? kItalic
                                           : kStrikeOut;
        setFlag(kind, command, v);
    } else if (key == "C") {
        setColor(command, value);
    } else if (key == "W") {
        // printer: four printer units per unit, unzoomed
        const double w = printer ? number(value) * 4 : number(value) * d.zoomFactor;
        m_surface.setLineWidth(std::max(1.0, roundHalfEven(w)));
    } else {
        unknownCommand(command);
    }
}

void MarkupInterpreter::setFlag(int kind, std::string_view command, std::string_view v)
{
    const FlagCommand &f = kFlagCommands[kind];
    bool on = false;
    if (v == "Y" || v == "1") {
        on = true;
    } else if (!(v == "N" || v == "0" || v.empty())) {
        warnPair(f.firstMessage, command, f.secondMessage);
    }
    m_surface.setFontFlag(f.flag, on);
}

void MarkupInterpreter::setColor(std::string_view command, std::string_view value)
{
    QColor color;
    if (value.find(',') != std::string_view::npos) {
        int rgb[3];
        for (int i = 0; i < 3; ++i) {
            const double c = roundHalfEven(number(field(value, ',', i + 1)));
            if (c < 0 || c > 255) {
                commandFailed(command);
                return;
            }
            rgb[i] = static_cast<int>(c);
        }
        color = QColor(rgb[0], rgb[1], rgb[2]);
    } else {
        const double n = roundHalfEven(number(value));
        if (n < 0 || n > 15) {
            commandFailed(command);
            return;
        }
        color = QColor::fromRgb(kPalette[static_cast<int>(n)]);
    }
    m_surface.setForeColor(color);
}

void MarkupInterpreter::drawLine(std::string_view value)
{
    const double y = m_surface.currentY();
    const bool dotted = number(field(value, ',', 3)) == 1;
    if (dotted)
        m_surface.setLineStyle(LineStyle::Dotted);
    m_surface.line(scaled(number(field(value, ',', 1))), y, scaled(number(field(value, ',', 2))),
                   y);
    if (dotted)
        m_surface.setLineStyle(LineStyle::Solid);
}

void MarkupInterpreter::drawXyLine(std::string_view value)
{
    const double keptX = m_surface.currentX();
    const double keptY = m_surface.currentY();
    const bool dotted = number(field(value, ',', 5)) == 1;
    if (dotted)
        m_surface.setLineStyle(LineStyle::Dotted);
    m_surface.line(scaled(number(field(value, ',', 1))), scaledY(number(field(value, ',', 2))),
                   scaled(number(field(value, ',', 3))), scaledY(number(field(value, ',', 4))));
    if (dotted)
        m_surface.setLineStyle(LineStyle::Solid);
    m_surface.setCurrentX(keptX);
    m_surface.setCurrentY(keptY);
}

void MarkupInterpreter::moveXy(std::string_view value)
{
    const double x = number(field(value, ',', 1));
    const double y = number(field(value, ',', 2));
    if (x > 0) {
        m_context.drawing.lineX = scaled(x);
        m_surface.setCurrentX(scaled(x));
    }
    if (y > 0)
        m_surface.setCurrentY(scaledY(y));
}

void MarkupInterpreter::drawBox(std::string_view command, std::string_view value, bool filled)
{
    const double keptX = m_surface.currentX();
    const double keptY = m_surface.currentY();
    const double fx1 = number(field(value, ',', 1));
    const double fy1 = number(field(value, ',', 2));
    const double x1 = fx1 == 0 ? keptX : scaled(fx1);
    const double y1 = fy1 == 0 ? keptY : scaledY(fy1);
    const double x2 = scaled(number(field(value, ',', 3)));
    const double y2 = scaledY(number(field(value, ',', 4)));
    bool done;
    if (filled) {
        done = m_surface.filledBox(x1, y1, x2, y2);
    } else {
        const bool dotted = number(field(value, ',', 5)) == 1;
        if (dotted)
            m_surface.setLineStyle(LineStyle::Dotted);
        done = m_surface.box(x1, y1, x2, y2);
        if (dotted)
            m_surface.setLineStyle(LineStyle::Solid);
    }
    m_surface.setCurrentX(keptX);
    m_surface.setCurrentY(keptY);
    if (!done)
        commandFailed(command);
}

void MarkupInterpreter::drawCircle(std::string_view command, std::string_view value)
{
    DrawingState &d = m_context.drawing;
    const double th = m_surface.textHeight("a");
    const double y0 = m_surface.currentY();
    const double fx = number(field(value, ',', 1));
    const double fy = number(field(value, ',', 2));
    const double fr = number(field(value, ',', 3));
    const double x = fx == 0 ? d.lineX + th / 3 : scaled(fx);
    const double y = fy == 0 ? y0 + th / 2 : scaledY(fy);
    const double r = fr == 0 ? th / 3 : scaled(fr);
    if (!m_surface.circle(x, y, r))
        commandFailed(command);
    if (fx == 0) // a bullet: the text that follows starts after it
        d.lineX += 2 * th / 3;
    m_surface.setCurrentY(y0);
}

void MarkupInterpreter::drawPicture(std::string_view command, std::string_view value)
{
    DrawingState &d = m_context.drawing;
    const std::string_view name = trimmed(field(value, ',', 1));
    const double fx = number(field(value, ',', 2));
    const double fy = number(field(value, ',', 3));
    const double x = fx == 0 ? m_surface.currentX() : scaled(fx);
    const double y = fy == 0 ? m_surface.currentY() : scaledY(fy);
    const double w = scaled(number(field(value, ',', 4)));
    const double h = scaled(number(field(value, ',', 5)));
    const std::string_view link = field(value, ',', 6);

    // A name with a folder part is used as given ("\" read as "/"); a bare
    // name is looked up in the picture folder.
    std::string path(name);
    if (path.find_first_of("/\\") != std::string::npos) {
        for (char &c : path) {
            if (c == '\\')
                c = '/';
        }
    } else if (!m_context.pictureFolder.empty()) {
        path = m_context.pictureFolder + "/" + path;
    }
    if (m_context.allowedPictures) {
        // Outside the allowed folders: not read, said as a missing picture.
        const std::optional<std::string> allowed = m_context.allowedPictures->resolve(path);
        path = allowed.value_or(std::string());
    }
    QImage image;
    // A picture is read once per document; only a regular file is one: a
    // device or a FIFO named here would read forever or block the drawing.
    if (const QImage *kept = m_context.pictures ? m_context.pictures->find(path) : nullptr) {
        image = *kept;
    } else if (!name.empty() && !path.empty() && isRegularFile(path)) {
        QImageReader reader(fromCp1252(path));
        reader.setAutoTransform(true);
        image = reader.read();
        if (m_context.pictures)
            m_context.pictures->keep(path, image);
    }
    if (image.isNull() || !m_surface.paintPicture(image, x, y, w, h))
        commandFailed(command);

    if (!link.empty() && m_target == Target::Screen) { // printer: the link field is ignored
        ++d.linkCount;
        m_context.links.place(d.linkCount, QRectF(x, y, w, h), std::string(link));
        d.linkPending = false;
    }
}

void MarkupInterpreter::runExternal(std::string_view value)
{
    ExternalCommands &commands = m_context.commands;
    if (!commands.startedByCommand())
        return;
    const bool printer = m_target == Target::Printer;
    // The options are compared as written, upper-cased only, as every other
    // value of the markup is: " ALWAYS" is neither option and runs nothing.
    const std::string target(field(value, ',', 1));
    std::string when = upper(field(value, ',', 2));
    std::string where = upper(field(value, ',', 3));
    if (when.empty())
        when = "ONCE";
    if (where.empty())
        where = printer ? "PRINT" : "VIEWER"; // printer: its own default
    if (!printer)
        m_context.drawing.linkTarget = target;

    const bool done = commands.wasExecuted(target);
    const bool run = when == "ALWAYS" || (when == "ONCE" && !done);
    const bool here = where == "BOTH" || where == (printer ? "PRINT" : "VIEWER");
    if (!run || !here)
        return;
    commands.open(target);
    if (!done)
        commands.remember(target);
}

void MarkupInterpreter::commandFailed(std::string_view command)
{
    std::string text(command);
    text += ". ";
    text += m_context.messages.text(207);
    m_context.diagnostics.report({DiagnosticKind::RefusedValue, 207, std::move(text)});
}

void MarkupInterpreter::warn(int number, std::string text)
{
    m_context.diagnostics.report({DiagnosticKind::MarkupWarning, number, std::move(text)});
}

void MarkupInterpreter::warnPair(int first, std::string_view command, int second)
{
    const Messages &messages = m_context.messages;
    std::string text = messages.text(first);
    text += ' ';
    text += upper(command);
    text += "\n\n";
    text += messages.text(second);
    warn(first, std::move(text));
}

void MarkupInterpreter::unknownCommand(std::string_view command)
{
    warnPair(205, command, 206);
}

} // namespace kel
