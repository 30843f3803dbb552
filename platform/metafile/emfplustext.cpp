// EMF+ font and string-format objects and the DrawString and
// DrawDriverString records.
#include "platform/metafile/emfplustext.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/metafile/emfplusplayer.h"
#include "platform/metafile/gdicontext.h"
#include "platform/metafile/symbolfont.h"

namespace vm {

namespace {

constexpr quint32 kMaxChars = 32768;
constexpr quint32 kMaxTabStops = 256;
constexpr double kMaxFontPixels = 4000; // image pixels an em may span
// Qt draws glyphs up to 64 pixels (judged by the transform's area, so a
// glyph squashed one way and stretched the other still counts as small)
// from its glyph cache, and FreeType cannot render one stretched to
// thousands of pixels; text whose glyphs reach that far is drawn as
// outlines instead.
constexpr double kMaxCachedGlyphWidth = 512;
// Qt keeps the glyphs it draws from that cache in one image per face, size
// and transform, for as long as the face is in use; thousands of different
// large glyphs would make it gigabytes. Text that could grow it past this is
// drawn as outlines too.
constexpr double kMaxGlyphCacheBytes = 64.0 * 1024 * 1024;

// How many different characters a string holds.
qsizetype distinctCharacters(const QString &text)
{
    QList<uint> codes = text.toUcs4();
    std::sort(codes.begin(), codes.end());
    return std::unique(codes.begin(), codes.end()) - codes.begin();
}

enum DriverStringFlag : quint32 { CmapLookup = 0x1, VerticalGlyphs = 0x2, RealizedAdvance = 0x4 };

QString readUtf16(const EmfPlusReader &r, qint64 offset, quint32 count)
{
    QString s(qsizetype(count), Qt::Uninitialized);
    for (quint32 i = 0; i < count; ++i)
        s[i] = QChar(r.u16(offset + qint64(i) * 2));
    return s;
}

// Text in a Symbol face comes as its 8-bit codes, often moved up into the
// private-use area at U+F000; the stand-in faces want the Unicode letters.
QString symbolText(const QString &text)
{
    QByteArray codes;
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u >= 0xF000 && u <= 0xF0FF)
            codes.append(char(u - 0xF000));
        else if (u <= 0xFF)
            codes.append(char(u));
        else
            return text;
    }
    return decodeSymbolText(codes);
}

// Face substitution walks the installed families; files name the same few
// faces in hundreds of records, so each thread remembers its answers.
QString installedFace(const QString &family)
{
    thread_local QHash<QString, QString> resolved;
    auto it = resolved.constFind(family);
    if (it == resolved.constEnd()) {
        if (resolved.size() > 256)
            resolved.clear();
        it = resolved.insert(family, GdiContext::resolveFace(family, 1));
    }
    return *it;
}

// How many of the first characters of `text` fit in `width`, never splitting
// a character the user sees as one (a surrogate pair, a base with its marks).
qsizetype fittingLength(const QString &text, const QFontMetricsF &metrics, double width)
{
    const auto fits = [&](qsizetype n) { return metrics.horizontalAdvance(text.left(n)) <= width; };
    // Widening steps first, so that only about what shows is measured, not
    // the tens of thousands of characters that may follow it.
    qsizetype good = 0, bad = text.size();
    for (qsizetype step = 16; step < text.size(); step *= 2) {
        if (!fits(step)) {
            bad = step;
            break;
        }
        good = step;
    }
    while (bad - good > 1) {
        const qsizetype mid = good + (bad - good) / 2;
        (fits(mid) ? good : bad) = mid;
    }
    if (good > 0 && good < text.size()) {
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
        graphemes.setPosition(good);
        if (!graphemes.isAtBoundary())
            good = std::max<qsizetype>(0, graphemes.toPreviousBoundary());
    }
    return good;
}

} // namespace

QString trimToWidth(const QString &text, const QFontMetricsF &metrics, double width, int trimming)
{
    using F = EmfPlusStringFormat;
    if (trimming == F::None || metrics.horizontalAdvance(text) <= width)
        return text;
    const QString ellipsis(QChar(0x2026));
    if (trimming == F::EllipsisPath) {
        // "C:\Users\…\report.docx": the front goes, the file name stays.
        const qsizetype cut
            = std::max(text.lastIndexOf(QLatin1Char('\\')), text.lastIndexOf(QLatin1Char('/')));
        const QString tail = text.mid(std::max<qsizetype>(cut, 0));
        const double room = width - metrics.horizontalAdvance(ellipsis + tail);
        if (cut > 0 && room > 0)
            return text.left(fittingLength(text.left(cut), metrics, room)) + ellipsis + tail;
        trimming = F::EllipsisCharacter;
    }
    const bool withEllipsis = trimming == F::EllipsisCharacter || trimming == F::EllipsisWord;
    const double room = withEllipsis ? width - metrics.horizontalAdvance(ellipsis) : width;
    qsizetype kept = room > 0 ? fittingLength(text, metrics, room) : 0;
    if (trimming == F::Word || trimming == F::EllipsisWord) {
        // Back to the end of the last whole word: after a space, or between
        // Japanese characters, which have none. A first word too long keeps
        // its cut, and so does a path, whose parts are not words.
        const auto wordEnd = [&](qsizetype at) {
            const auto ideographic = [](QChar c) {
                const QChar::Script script = c.script();
                return script == QChar::Script_Han || script == QChar::Script_Hiragana
                    || script == QChar::Script_Katakana || script == QChar::Script_Hangul;
            };
            return at == text.size() || text[at - 1].isSpace() || text[at].isSpace()
                || ideographic(text[at - 1]) || ideographic(text[at]);
        };
        QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
        breaks.setPosition(kept);
        qsizetype at = breaks.isAtBoundary() ? kept : breaks.toPreviousBoundary();
        while (at > 0 && !wordEnd(at))
            at = breaks.toPreviousBoundary();
        if (at > 0)
            kept = at;
    }
    QString shown = text.left(kept);
    while (!shown.isEmpty() && shown.back().isSpace())
        shown.chop(1);
    return withEllipsis ? shown + ellipsis : shown;
}

QString stripHotkeyPrefixes(const QString &text, int prefix, QList<int> *underlined)
{
    if (prefix != 1 && prefix != 2)
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
            if (text[i] != QLatin1Char('&') && underlined)
                underlined->append(int(out.size()));
        }
        out.append(text[i]);
    }
    return out;
}

std::shared_ptr<const EmfPlusFont> parseEmfPlusFont(const EmfPlusReader &r)
{
    // Version, em size, unit, style, reserved, name length, name (UTF-16).
    auto f = std::make_shared<EmfPlusFont>();
    f->emSize = r.f32(4);
    f->unit = int(r.u32(8));
    f->style = r.i32(12);
    const quint32 length = r.u32(20);
    if (!r.ok() || length > 256 || !r.has(24, qint64(length) * 2) || f->unit > UnitMillimeter
        || !(f->emSize > 0) || f->emSize > 1e6)
        return nullptr;
    f->family = readUtf16(r, 24, length);
    const qsizetype nul = f->family.indexOf(QChar(0));
    if (nul >= 0)
        f->family.truncate(nul);
    return f;
}

std::shared_ptr<const EmfPlusStringFormat> parseEmfPlusStringFormat(const EmfPlusReader &r)
{
    // Version, flags, language, alignment, line alignment, digit
    // substitution and language, first tab offset, hotkey prefix, leading
    // and trailing margins, tracking, trimming, tab stop and range counts,
    // then the tab stops and character ranges.
    auto f = std::make_shared<EmfPlusStringFormat>();
    f->flags = r.u32(4);
    f->align = int(r.u32(12));
    f->lineAlign = int(r.u32(16));
    f->firstTabOffset = r.f32(28);
    f->hotkeyPrefix = r.i32(32);
    f->leadingMargin = std::clamp(double(r.f32(36)), 0.0, 10.0);
    f->trailingMargin = std::clamp(double(r.f32(40)), 0.0, 10.0);
    // An unknown trimming leaves text only clipped.
    const quint32 trimming = r.u32(48);
    f->trimming = trimming <= EmfPlusStringFormat::EllipsisPath ? int(trimming) : EmfPlusStringFormat::None;
    const qint32 tabs = r.i32(52);
    if (!r.ok() || f->align > 2 || f->lineAlign > 2)
        return nullptr;
    if (tabs > 0 && quint32(tabs) <= kMaxTabStops && r.has(60, qint64(tabs) * 4)) {
        for (qint32 i = 0; i < tabs; ++i)
            f->tabStops.append(std::clamp(double(r.f32(60 + i * 4)), 0.0, 1e5));
    }
    return f;
}

// ---- records --------------------------------------------------------------

EmfPlusResult EmfPlusPlayer::textRecord(const EmfPlusRecord &r)
{
    const EmfPlusReader &d = r.data;
    const quint32 brushId = d.u32(0);
    if (!d.ok())
        return EmfPlusResult::Stop;
    const auto *fontEntry = objects().find<EmfPlusOpaque<EmfPlusFont>>(r.flags & 0xFF);
    const std::optional<EmfPlusBrush> brush = brushOf(r.flags, brushId);

    // The text and where it goes, in world units.
    QString text;
    QRectF layout;
    QPolygonF positions;
    QTransform glyphMatrix;
    const EmfPlusStringFormat *format = nullptr;
    EmfPlusStringFormat defaults;
    quint32 options = 0;
    if (r.type == EmfPlusDrawString) {
        // Brush, format id, length, layout rectangle, string.
        const quint32 formatId = d.u32(4), length = d.u32(8);
        layout = d.rectF(12);
        if (!d.ok() || length > kMaxChars || !d.has(28, qint64(length) * 2))
            return EmfPlusResult::Stop;
        text = readUtf16(d, 28, length);
        if (const auto *f = objects().find<EmfPlusOpaque<EmfPlusStringFormat>>(formatId); f && f->parsed)
            format = f->parsed.get();
    } else {
        // Brush, options, matrix present, glyph count, glyphs, positions, matrix.
        options = d.u32(4);
        const quint32 matrixPresent = d.u32(8), count = d.u32(12);
        if (!d.ok() || count > kMaxChars || !d.has(16, qint64(count) * 10 + (matrixPresent ? 24 : 0)))
            return EmfPlusResult::Stop;
        // Without CMAP lookup the values are glyph indices of the writer's
        // font, which no face here shares; they are read as code points,
        // which is what writers that set neither flag put there in practice.
        text = readUtf16(d, 16, count);
        if (readEmfPlusPoints(d, 16 + qint64(count) * 2, count, false, false, &positions) < 0)
            return EmfPlusResult::Stop;
        if (matrixPresent) {
            glyphMatrix = d.matrix(16 + qint64(count) * 10);
            if (!std::isfinite(glyphMatrix.determinant()) || std::abs(glyphMatrix.determinant()) < 1e-12)
                glyphMatrix = QTransform();
        }
    }
    if (!fontEntry || !fontEntry->parsed || !brush || text.isEmpty())
        return EmfPlusResult::NotDrawn;
    const EmfPlusFont &ef = *fontEntry->parsed;
    if (!format)
        format = &defaults;

    // Em size in world units, then in image pixels.
    const double toWorld = ef.unit == UnitWorld
        ? 1
        : unitScale(ef.unit, true) / (unitScale(state().pageUnit, true) * state().pageScale);
    const QTransform world = glyphMatrix * worldToImage();
    const double scale = std::sqrt(std::abs(world.determinant()));
    const double emPixels = ef.emSize * toWorld * scale;
    if (!std::isfinite(emPixels) || emPixels < 0.2 || emPixels > kMaxFontPixels || scale <= 0)
        return EmfPlusResult::NotDrawn;

    QFont font(installedFace(ef.family));
    font.setStyleStrategy(QFont::PreferAntialias);
    const int pixelSize = std::max(1, int(std::lround(emPixels)));
    font.setPixelSize(pixelSize);
    font.setBold(ef.style & 1);
    font.setItalic(ef.style & 2);
    font.setUnderline(ef.style & 4);
    font.setStrikeOut(ef.style & 8);
    if (isSymbolFace(ef.family))
        text = symbolText(text);
    // Painter space: world units times the image scale, about one unit an
    // image pixel, where the font's whole-pixel size is near the em.
    const QTransform paint = QTransform::fromScale(1 / scale, 1 / scale) * world;
    const QTransform toPaint = QTransform::fromScale(scale, scale);
    const double stretch
        = std::max(std::hypot(paint.m11(), paint.m12()), std::hypot(paint.m21(), paint.m22()));
    const double glyphSide = emPixels * stretch * 1.5 + 4; // a glyph's box, accents and all
    const double glyphBytes = glyphSide * glyphSide * 4;
    // Counting the different characters takes a sort; only long text of
    // large glyphs needs it.
    const bool outlines = emPixels * stretch > kMaxCachedGlyphWidth
        || (double(text.size()) * glyphBytes > kMaxGlyphCacheBytes
            && double(distinctCharacters(text)) * glyphBytes > kMaxGlyphCacheBytes);

    // Priced as GDI text is: shaping each character, then filling its glyph
    // (the em square) on the picture.
    QPainterPath glyphs;
    const QPointF origin
        = worldToImage().map(r.type == EmfPlusDrawString ? layout.topLeft() : positions.value(0));
    glyphs.addRect(
        QRectF(origin, QSizeF(emPixels * double(std::min<qsizetype>(text.size(), 100000)), emPixels)));
    if (!dc().charge(PlayBudget::kRecord + double(text.size()) * PlayBudget::kGlyph)
        || !dc().chargeDrawing(glyphs, 0) || !beginDraw())
        return EmfPlusResult::Done;
    QPainter &p = dc().painter();
    QBrush fill = imageBrush(*brush, worldToImage());
    if (fill.style() != Qt::SolidPattern && fill.style() != Qt::NoBrush)
        fill.setTransform(fill.transform() * paint.inverted());
    p.setTransform(paint);
    p.setPen(QPen(fill, 0));
    p.setFont(font);
    // A font rounded to whole pixels is drawn at its exact em by scaling.
    const double fix = emPixels / pixelSize;

    if (r.type == EmfPlusDrawDriverString) {
        const QFontMetricsF metrics(font);
        QPointF pen = toPaint.map(positions.value(0));
        for (qsizetype i = 0; i < text.size(); ++i) {
            qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            const QString glyph = text.mid(i, len);
            const QPointF at = (options & RealizedAdvance) ? pen : toPaint.map(positions[i]);
            p.save();
            p.translate(at);
            p.scale(fix, fix);
            if (options & VerticalGlyphs)
                p.rotate(90);
            if (outlines) {
                QPainterPath outline;
                outline.addText(QPointF(0, 0), font, glyph);
                p.fillPath(outline, fill);
            } else {
                p.drawText(QPointF(0, 0), glyph);
            }
            p.restore();
            // Turned glyphs stack downwards.
            const double advance = metrics.horizontalAdvance(glyph) * fix;
            pen = at + ((options & VerticalGlyphs) ? QPointF(0, advance) : QPointF(advance, 0));
            i += len - 1;
        }
        endDraw();
        return EmfPlusResult::Done;
    }

    // DrawString: lines laid out in the rectangle (less the margins).
    QRectF box = toPaint.mapRect(layout);
    const bool vertical = format->flags & EmfPlusStringFormat::Vertical;
    const bool rtl = format->flags & EmfPlusStringFormat::RightToLeft;
    if (vertical) {
        // Lines run down the page, one after another from the right: the
        // rectangle is laid out turned a quarter clockwise.
        p.translate(box.right(), box.top());
        p.rotate(90);
        box = QRectF(0, 0, box.height(), box.width());
    }
    p.translate(box.topLeft());
    p.scale(fix, fix);
    const double em = pixelSize;
    const double width = box.width() / fix, height = box.height() / fix;
    const double lead = format->leadingMargin * em, trail = format->trailingMargin * em;
    const bool bounded = width > 0;
    const bool wrap = bounded && !(format->flags & EmfPlusStringFormat::NoWrap);
    if (height > 0 && width > 0 && !(format->flags & EmfPlusStringFormat::NoClip))
        p.setClipRect(QRectF(0, 0, width, height), Qt::IntersectClip);

    QList<int> hotkeys;
    const QString shown = stripHotkeyPrefixes(text, format->hotkeyPrefix, &hotkeys);
    QTextLayout lines(shown, font, p.device());
    QTextOption option;
    option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    option.setTextDirection(rtl ? Qt::RightToLeft : Qt::LeftToRight);
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    QList<QTextOption::Tab> tabs;
    // Tab stops are in world units, each from the one before.
    const double tabScale = scale / fix;
    double tabAt = format->firstTabOffset * tabScale;
    for (double stop : format->tabStops) {
        tabAt += stop * tabScale;
        tabs.append(QTextOption::Tab(tabAt, QTextOption::LeftTab));
    }
    if (!tabs.isEmpty())
        option.setTabs(tabs);
    lines.setTextOption(option);
    if (format->hotkeyPrefix == 1 && !hotkeys.isEmpty()) {
        QList<QTextLayout::FormatRange> ranges;
        for (int at : hotkeys) {
            QTextCharFormat underline;
            underline.setFontUnderline(true);
            ranges.append({ at, 1, underline });
        }
        lines.setFormats(ranges);
    }
    const double lineWidth = std::max(1.0, width - lead - trail);
    double y = 0;
    lines.beginLayout();
    for (int n = 0; n < 10000; ++n) {
        QTextLine line = lines.createLine();
        if (!line.isValid())
            break;
        // Unwrapped lines get room enough; alignment is placed below.
        line.setLineWidth(wrap ? lineWidth : 1e6);
        if ((format->flags & EmfPlusStringFormat::LineLimit) && height > 0 && n > 0
            && y + line.height() > height) {
            line.setPosition(QPointF(0, 1e9)); // laid out past the rectangle: not drawn
            break;
        }
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    lines.endLayout();
    // Horizontal placement (near is the right edge for right-to-left text).
    const int align = rtl ? 2 - format->align : format->align;
    const auto placeX = [&](double w) {
        if (bounded)
            return align == 1 ? lead + (lineWidth - w) / 2 : align == 2 ? width - trail - w : lead;
        return align == 1 ? -w / 2 : align == 2 ? -w - trail : lead;
    };
    for (int i = 0; i < lines.lineCount(); ++i) {
        QTextLine line = lines.lineAt(i);
        line.setPosition(QPointF(placeX(line.naturalTextWidth()), line.position().y()));
    }
    double top = 0;
    if (height > 0)
        top = format->lineAlign == 1 ? (height - y) / 2 : format->lineAlign == 2 ? height - y : 0;
    else if (format->lineAlign != 0)
        top = format->lineAlign == 1 ? -y / 2 : -y;

    // Trimming: the last line that shows takes the rest of the text, and it
    // and any unwrapped line too wide end where the format says. Text let
    // out of its rectangle (no clipping) needs none.
    const int trimming = bounded && !(format->flags & EmfPlusStringFormat::NoClip) ? format->trimming : 0;
    int shownLines = lines.lineCount();
    QList<std::optional<QString>> trimmed(shownLines); // none: the line as laid out
    bool anyTrimmed = false;
    const QFontMetricsF metrics(font, p.device());
    if (trimming != EmfPlusStringFormat::None) {
        if (height > 0) {
            while (shownLines > 1 && top + lines.lineAt(shownLines - 1).position().y() >= height)
                --shownLines;
        }
        for (int i = 0; i < shownLines; ++i) {
            const QTextLine line = lines.lineAt(i);
            const bool rest = i == shownLines - 1 && shownLines < lines.lineCount();
            if (!rest && line.naturalTextWidth() <= lineWidth + 0.5)
                continue;
            QString text
                = rest ? shown.mid(line.textStart()) : shown.mid(line.textStart(), line.textLength());
            for (QChar &c : text) {
                if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator)
                    c = QLatin1Char(' ');
            }
            trimmed[i] = trimToWidth(text.trimmed(), metrics, lineWidth, trimming);
            anyTrimmed = true;
        }
    }
    if (outlines || anyTrimmed) {
        QPainterPath outline;
        for (int i = 0; i < shownLines; ++i) {
            const QTextLine line = lines.lineAt(i);
            if (trimmed[i]) {
                const QPointF at(placeX(metrics.horizontalAdvance(*trimmed[i])),
                    top + line.position().y() + line.ascent());
                if (outlines)
                    outline.addText(at, font, *trimmed[i]);
                else
                    p.drawText(at, *trimmed[i]);
            } else if (outlines) {
                outline.addText(line.position() + QPointF(0, top + line.ascent()), font,
                    shown.mid(line.textStart(), line.textLength()));
            } else {
                line.draw(&p, QPointF(0, top));
            }
        }
        if (outlines)
            p.fillPath(outline, fill);
    } else {
        lines.draw(&p, QPointF(0, top));
    }
    endDraw();
    return EmfPlusResult::Done;
}

} // namespace vm
