// The painter surface on real devices: twips map to device units at the
// device's resolution, fonts are not scaled twice, the margins are an
// origin, and line widths are line units.
#include "app/text.h"
#include "harness.h"
#include "render/paintersurface.h"
#include "render/screenpage.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

using namespace kel;

namespace {

QImage page(int width, int height, int dpi)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    return image;
}

bool dark(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

// The bounding box of the non-white pixels.
QRect inked(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace

TEST(PainterSurface, FontPointsAreNotScaledTwice)
{
    test::ensureGuiApplication();
    double heights[2];
    const int dpis[2] = {96, 1200};
    for (int i = 0; i < 2; ++i) {
        QImage image = page(100, 100, dpis[i]);
        QPainter painter(&image);
        PainterSurface surface(painter, {});
        ASSERT_TRUE(surface.setFontSize(8));
        heights[i] = surface.textHeight("a");
        EXPECT_GT(surface.textWidth("MMMM"), 0);
    }
    // 8 points with the line's leading is a little over 160 twips.
    EXPECT_GT(heights[0], 150);
    EXPECT_LT(heights[0], 230);
    EXPECT_NEAR(heights[1], heights[0], heights[0] * 0.1);
}

TEST(PainterSurface, BoxesLandAtTheirTwipsFromTheOrigin)
{
    test::ensureGuiApplication();
    const struct
    {
        int dpi;
        QRect expected; // pixels
    } cases[] = {
        {96, QRect(10, 20, 100, 100)},       // 15 twips a pixel
        {1200, QRect(125, 250, 1250, 1250)}, // 1.2 twips a pixel
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dpi);
        QImage image = page(c.expected.right() + 20, c.expected.bottom() + 20, c.dpi);
        {
            QPainter painter(&image);
            PainterSurface surface(painter, {QPointF(150, 300), 15});
            EXPECT_TRUE(surface.filledBox(0, 0, 1500, 1500));
            EXPECT_FALSE(surface.filledBox(0, 0, kMaxCoordinate * 2, 1));
            EXPECT_FALSE(surface.circle(10, 10, -1));
        }
        EXPECT_EQ(inked(image), c.expected);
    }
}

TEST(PainterSurface, TextSitsBelowItsTopAndAdvancesTheCurrentX)
{
    test::ensureGuiApplication();
    QImage image = page(300, 100, 96);
    double width = 0;
    {
        QPainter painter(&image);
        PainterSurface surface(painter, {QPointF(0, 0), 15});
        surface.setFontSize(12);
        surface.setCurrentX(1500);
        surface.setCurrentY(300);
        width = surface.textWidth("HHH");
        surface.print("HHH");
        EXPECT_DOUBLE_EQ(surface.currentX(), 1500 + width);
        EXPECT_DOUBLE_EQ(surface.currentY(), 300);
    }
    const QRect ink = inked(image);
    EXPECT_GE(ink.left(), 100);
    EXPECT_LE(ink.right(), 100 + width / 15 + 1);
    EXPECT_GE(ink.top(), 20); // the capitals start below the line's top
    EXPECT_LT(ink.bottom(), 20 + 16 * 1.3);
}

TEST(PainterSurface, LineWidthIsInLineUnits)
{
    test::ensureGuiApplication();
    const struct
    {
        int dpi;
        double lineUnit;
        double width;
        int pixels;
    } cases[] = {
        {96, 15, 1, 1},
        {96, 15, 3, 3},
        {1200, 15, 2, 25}, // two screen pixels on a 1200-dpi device
        {1200, 0, 8, 8},   // printer dots
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pixels);
        QImage image = page(400, 400, c.dpi);
        {
            QPainter painter(&image);
            PainterSurface surface(painter, {QPointF(0, 0), c.lineUnit});
            surface.setLineWidth(c.width);
            surface.line(0, 150, 6000, 150);
        }
        int thickness = 0;
        for (int y = 0; y < image.height(); ++y)
            thickness += dark(image, 100, y);
        EXPECT_NEAR(thickness, c.pixels, 1);
    }
}

// Every surface refuses the same values: the painter and the recording
// surface that the traces come from give the same answers.
TEST(Surfaces, RefuseTheSameValues)
{
    test::ensureGuiApplication();
    QImage image = page(200, 200, 96);
    QPainter painter(&image);
    PainterSurface painted(painter, {});
    RecordingSurface recorded;
    const QImage picture = page(2, 2, 96);
    const double far = kMaxCoordinate * 2;
    const double nan = std::nan("");
    const struct
    {
        const char *name;
        std::function<bool(Surface &)> call;
        bool accepted;
    } cases[] = {
        {"a box", [](Surface &s) { return s.box(0, 0, 10, 10); }, true},
        {"a box beyond the limit", [&](Surface &s) { return s.box(0, 0, far, 10); }, false},
        {"a filled box at NaN", [&](Surface &s) { return s.filledBox(nan, 0, 1, 1); }, false},
        {"a circle", [](Surface &s) { return s.circle(50, 50, 10); }, true},
        {"a circle with a negative radius", [](Surface &s) { return s.circle(50, 50, -1); }, false},
        {"a picture", [&](Surface &s) { return s.paintPicture(picture, 0, 0, 30, 30); }, true},
        {"a null picture", [](Surface &s) { return s.paintPicture(QImage(), 0, 0, 30, 30); },
         false},
        {"a picture whose far corner is beyond the limit",
         [&](Surface &s) { return s.paintPicture(picture, kMaxCoordinate, 0, kMaxCoordinate, 1); },
         false},
        {"a font size of 0", [](Surface &s) { return s.setFontSize(0); }, false},
        {"an empty font name", [](Surface &s) { return s.setFontName(""); }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(painted), c.accepted);
        EXPECT_EQ(c.call(recorded), c.accepted);
    }
    // A refused line is not drawn, but the current point moves to its end.
    recorded.clearLines();
    recorded.line(0, 0, far, 5);
    EXPECT_TRUE(recorded.lines().empty());
    EXPECT_EQ(recorded.currentY(), 5);
}

// Text drawn from the glyph table lands where Qt's own drawText puts it:
// the same advance and the same pixels, for text without kerning pairs
// (a table of single glyphs cannot kern). Text with a control byte is
// shaped by Qt as before.
TEST(PainterSurface, TableTextIsWhereQtPutsIt)
{
    test::ensureGuiApplication();
    const struct
    {
        const char *name;
        std::string text;
        bool bold;
        bool underline;
    } cases[] = {
        {"plain", "Hello iiii mmm 1250.00", false, false},
        {"accents and the euro sign", "caf\xe9 M\xfcller \x80 12", false, false},
        {"bold", "Sum 1648.70", true, false},
        {"underlined", "Open the archive", false, true},
        {"a control byte is shaped",
         "a\tb\x01"
         "c",
         false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QImage drawn = page(400, 40, 96);
        QImage reference = drawn;
        double width = 0;
        {
            QPainter painter(&drawn);
            PainterSurface surface(painter, {QPointF(0, 0), 15});
            surface.setFontSize(10);
            surface.setFontFlag(FontFlag::Bold, c.bold);
            surface.setFontFlag(FontFlag::Underline, c.underline);
            surface.setCurrentX(150);
            surface.setCurrentY(75);
            width = surface.textWidth(c.text);
            surface.print(c.text);
            EXPECT_DOUBLE_EQ(surface.currentX(), 150 + width);
        }
        QFont font(QStringLiteral("arial"));
        font.setPointSizeF(10);
        font.setBold(c.bold);
        font.setUnderline(c.underline);
        const QFontMetricsF fm(font, &reference);
        EXPECT_DOUBLE_EQ(width, fm.horizontalAdvance(fromCp1252(c.text)) * 15);
        {
            QPainter painter(&reference);
            painter.setRenderHint(QPainter::TextAntialiasing, true);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(QPointF(10, 5 + fm.ascent()), fromCp1252(c.text));
        }
        int differing = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x)
                differing += drawn.pixel(x, y) != reference.pixel(x, y);
        }
        EXPECT_LE(differing, 2); // the underline may end a pixel earlier
    }
}

TEST(ScreenPage, UnderlineAtTwiceTheDensityLiesWhereTwiceTheZoomDrawsIt)
{
    test::ensureGuiApplication();
    // The row holding the most dark pixels: the line through or under the
    // words, which runs across all of them.
    const auto lineRow = [](const QImage &image) {
        int best = -1;
        int most = 0;
        for (int y = 0; y < image.height(); ++y) {
            int dark = 0;
            for (int x = 0; x < image.width(); ++x)
                dark += qGray(image.pixel(x, y)) < 128;
            if (dark > most) {
                most = dark;
                best = y;
            }
        }
        return best;
    };
    const struct
    {
        const char *name;
        const char *line;
    } rows[] = {
        {"underline", "{F=arial;S=14;U=Y}Underlined words of a link{U=N}"},
        {"strike-out", "{F=arial;S=14;ST=Y}Struck out words of a line{ST=N}"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        // The screen of a high-density display against the batch drawing
        // at twice the zoom: the same pixels.
        test::Harness dense({row.line});
        test::Harness zoomed({row.line});
        const ScreenPage atDensity = drawScreenPage(dense.engine(), 1, 1, 2);
        const ScreenPage atZoom = drawScreenPage(zoomed.engine(), 1, 2, 1);
        ASSERT_EQ(atDensity.image.size(), atZoom.image.size());
        const int expected = lineRow(atZoom.image);
        ASSERT_GT(expected, 0);
        EXPECT_NEAR(lineRow(atDensity.image), expected, 1);
        // At 50 % the line still lies in the text's row at the top of the
        // page, not near its foot.
        test::Harness half({row.line});
        const ScreenPage small = drawScreenPage(half.engine(), 1, 0.5, 1);
        EXPECT_NEAR(lineRow(small.image), expected / 4.0, 2);
    }
}
