// Text output: font choice, 8-bit text decoding by character set, and
// placement with per-character advances, alignment and escapement.
#include "platform/metafile/gdicontext.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QStringDecoder>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "platform/metafile/symbolfont.h"

namespace vm {

namespace {

constexpr double kMaxGlyphPixels = 8000; // a glyph's height in image pixels
// Qt draws glyphs up to this many pixels (QT_MAX_CACHED_GLYPH_SIZE) from its
// glyph cache, judging by their height alone; FreeType cannot render one
// stretched some thousand pixels wide (it fails, and Qt then copies from a null
// bitmap), so a stretch stays below that.
constexpr double kCachedGlyphPixels = 64;
constexpr double kMaxCachedGlyphWidth = 512;

const char *codecForCharSet(int charSet)
{
    switch (charSet) {
    case 128:
        return "windows-932"; // SHIFTJIS_CHARSET (with the vendor extensions)
    case 129:
        return "windows-949"; // HANGUL_CHARSET
    case 134:
        return "GBK"; // GB2312_CHARSET
    case 136:
        return "Big5"; // CHINESEBIG5_CHARSET
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 163:
        return "windows-1258";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 204:
        return "windows-1251";
    case 222:
        return "windows-874";
    case 238:
        return "windows-1250";
    case 77:
        return "macintosh";
    case 2:
        return nullptr; // SYMBOL_CHARSET: bytes are glyph numbers
    default:
        return "windows-1252";
    }
}

bool isCjkCharSet(int charSet)
{
    return charSet == 128 || charSet == 129 || charSet == 134 || charSet == 136;
}

bool looksJapaneseFace(const QString &face)
{
    for (QChar c : face) {
        if (c.unicode() > 0xFF)
            return true;
    }
    static const char *const names[] = { "MS Gothic", "MS PGothic", "MS UI Gothic", "MS Mincho", "MS PMincho",
        "Meiryo", "Yu Gothic", "Yu Mincho", "BIZ UD", "Osaka", "HG" };
    for (const char *name : names) {
        if (face.startsWith(QLatin1String(name), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

QString GdiContext::decodeText(const QByteArray &bytes, int charSet, QList<double> *dx)
{
    const char *codec = codecForCharSet(charSet);
    QStringDecoder decoder(codec ? codec : "ISO-8859-1");
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Latin1);
    const bool fold = dx && dx->size() >= bytes.size();
    QString text;
    QList<double> advances;
    double pending = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        // Fed one byte at a time, the decoder gives a character once its
        // last byte arrives; the advances of its bytes add up.
        const QString piece = decoder.decode(QByteArrayView(bytes.constData() + i, 1));
        if (fold)
            pending += dx->at(i);
        if (piece.isEmpty())
            continue;
        text += piece;
        if (fold) {
            advances.append(pending);
            for (qsizetype k = 1; k < piece.size(); ++k)
                advances.append(0);
            pending = 0;
        }
    }
    if (fold)
        *dx = advances;
    return text;
}

namespace {

// Whether a family is installed; families that several foundries supply
// are listed as "Name [foundry]".
bool isInstalled(const QString &family)
{
    static const QStringList families = QFontDatabase::families();
    const QString prefix = family + QLatin1String(" [");
    return std::any_of(families.begin(), families.end(), [&](const QString &f) {
        return f.compare(family, Qt::CaseInsensitive) == 0 || f.startsWith(prefix, Qt::CaseInsensitive);
    });
}

// The first installed family of a list, or an empty string.
QString firstInstalled(std::initializer_list<const char *> candidates)
{
    for (const char *name : candidates) {
        QString family = QString::fromLatin1(name);
        if (isInstalled(family))
            return family;
    }
    return QString();
}

// Symbol's bracket and brace pieces (top, extension, middle, bottom) each
// fill the whole character cell, so that pieces on lines one cell apart
// join into one tall bracket. The faces that stand in for Symbol draw them
// shorter, so each is stretched over the cell Symbol gives it: 1.005 em
// above the baseline and 0.216 em below.
bool isBracketPiece(QChar c)
{
    return c.unicode() >= 0x239B && c.unicode() <= 0x23AD;
}

void drawBracketPiece(QPainter &painter, QPointF baselineStart, QChar c, const QFont &font)
{
    QPainterPath glyph;
    glyph.addText(0, 0, font, QString(c));
    const QRectF box = glyph.boundingRect();
    if (box.height() <= 0)
        return;
    const double em = font.pixelSize();
    const double top = -1.005 * em, bottom = 0.216 * em;
    QTransform fit;
    fit.translate(baselineStart.x(), baselineStart.y() + top);
    fit.scale(1, (bottom - top) / box.height());
    fit.translate(0, -box.top());
    painter.fillPath(fit.map(glyph), painter.pen().color());
}

} // namespace

QString GdiContext::resolveFace(const QString &face, int charSet)
{
    if (!face.isEmpty() && isInstalled(face))
        return face;
    if (isCjkCharSet(charSet) || looksJapaneseFace(face)) {
        // Proportional Japanese faces have a "P" (MS PGothic, MS PMincho,
        // BIZ UDPGothic, HGP...; HGS... are proportional in kana) or are
        // proportional by design (Meiryo, Yu, UI Gothic). Files name them
        // in Japanese as often as in English.
        const bool proportional = face.contains(QLatin1String(" P"), Qt::CaseSensitive)
            || face.contains(QChar(0xFF30)) || face.contains(QLatin1String("UDP"))
            || face.startsWith(QLatin1String("HGP")) || face.startsWith(QLatin1String("HGS"))
            || face.startsWith(QLatin1String("Meiryo"), Qt::CaseInsensitive) || face.startsWith(u"メイリオ")
            || face.startsWith(QLatin1String("Yu "), Qt::CaseInsensitive) || face.startsWith(u"游")
            || face.contains(QLatin1String("UI Gothic"), Qt::CaseInsensitive);
        const bool mincho
            = face.contains(QLatin1String("Mincho"), Qt::CaseInsensitive) || face.contains(u"明朝");
        QString family;
        if (mincho)
            family = proportional ? firstInstalled({ "IPAPMincho", "IPAMincho" })
                                  : firstInstalled({ "IPAMincho" });
        if (family.isEmpty() && proportional)
            family = firstInstalled({ "IPAPGothic" });
        return family.isEmpty() ? QStringLiteral("IPAGothic") : family;
    }
    // Faces that have metric-compatible free counterparts keep their line
    // lengths with them; DejaVu, much wider, is the last resort.
    static const struct {
        const char *prefix;
        std::initializer_list<const char *> families;
    } substitutes[] = {
        { "Arial Narrow",
            { "Liberation Sans Narrow", "Nimbus Sans Narrow", "DejaVu Sans Condensed", "DejaVu Sans" } },
        { "Arial", { "Liberation Sans", "Nimbus Sans", "Arimo", "DejaVu Sans" } },
        { "Helvetica", { "Liberation Sans", "Nimbus Sans", "Arimo", "DejaVu Sans" } },
        { "MS Sans Serif", { "Liberation Sans", "Nimbus Sans", "Arimo", "DejaVu Sans" } },
        { "Times", { "Liberation Serif", "Nimbus Roman", "Tinos", "DejaVu Serif" } },
        { "MS Serif", { "Liberation Serif", "Nimbus Roman", "Tinos", "DejaVu Serif" } },
        { "Roman", { "Liberation Serif", "Nimbus Roman", "Tinos", "DejaVu Serif" } },
        { "Courier", { "Liberation Mono", "Nimbus Mono PS", "Cousine", "DejaVu Sans Mono" } },
        { "Bookman", { "URW Bookman", "DejaVu Serif" } },
        { "Century Schoolbook", { "C059", "DejaVu Serif" } },
        { "Palatino", { "P052", "DejaVu Serif" } },
        { "Book Antiqua", { "P052", "DejaVu Serif" } },
        { "Georgia", { "DejaVu Serif" } },
        { "Cambria", { "Caladea", "DejaVu Serif" } },
        { "Garamond", { "DejaVu Serif" } },
        { "Book", { "DejaVu Serif" } },
        { "Consolas", { "DejaVu Sans Mono" } },
        { "Lucida Console", { "DejaVu Sans Mono" } },
        { "Monospace", { "DejaVu Sans Mono" } },
        { "Calibri", { "Carlito", "DejaVu Sans" } },
        // Symbol's letters are serif, its strokes thin, and formulas build
        // tall brackets and braces from its pieces: a math face has them all.
        { "Symbol", { "DejaVu Math TeX Gyre", "DejaVu Serif", "Liberation Serif", "DejaVu Sans" } },
    };
    for (const auto &s : substitutes) {
        if (face.startsWith(QLatin1String(s.prefix), Qt::CaseInsensitive)) {
            QString family = firstInstalled(s.families);
            if (!family.isEmpty())
                return family;
        }
    }
    // Everything else, including the Japanese application default that a
    // plain QFont would pick, becomes a Latin sans face.
    return QStringLiteral("DejaVu Sans");
}

void GdiContext::textOut(
    QPointF reference, const QString &text, const QList<double> &dxIn, quint32 options, const QRectF &box)
{
    const QTransform t = logicalToImage();
    if (!countOps(textUnits(text.size(),
            (box.isValid() || (box.width() != 0 && box.height() != 0)) ? t.mapRect(box.normalized())
                                                                       : QRectF())))
        return;
    const bool updateCp = m_state.textAlign & TaUpdateCp;
    if (updateCp)
        reference = m_state.currentPos;
    const QPointF origin = t.map(reference);
    if (!std::isfinite(origin.x()) || !std::isfinite(origin.y()) || std::abs(origin.x()) > 1e7
        || std::abs(origin.y()) > 1e7)
        return;

    m_painter.resetTransform();
    applyClip();
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const bool haveBox = box.isValid() || (box.width() != 0 && box.height() != 0);
    const QRectF imageBox = haveBox ? t.mapRect(box.normalized()) : QRectF();
    if ((options & EtoOpaque) && haveBox)
        m_painter.fillRect(imageBox, color(m_state.bkColor));
    if ((options & EtoClipped) && haveBox)
        m_painter.setClipRect(
            imageBox, m_state.clip || m_state.clipRegion ? Qt::IntersectClip : Qt::ReplaceClip);
    if (text.isEmpty() || text.size() > 100000)
        return;

    // Scale of the logical y and x axes in image pixels.
    const double yScale = std::hypot(t.m21(), t.m22());
    const double xScale = std::hypot(t.m11(), t.m12());
    const GdiFont &f = m_state.font;
    double height = std::abs(double(f.height)) * yScale;
    if (f.height == 0)
        height = 12 * std::sqrt(std::abs(m_deviceToImage.determinant()));
    QFont font(resolveFace(f.faceName, f.charSet));
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setWeight(QFont::Weight(std::clamp(f.weight == 0 ? 400 : f.weight, 100, 900)));
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strikeOut);
    font.setPixelSize(std::max(1, int(std::lround(std::min(height, kMaxGlyphPixels)))));
    if (f.height > 0) {
        // A positive height is the cell height (ascent + descent).
        const QFontMetricsF probe(font);
        const double cell = probe.ascent() + probe.descent();
        if (cell > 0)
            font.setPixelSize(
                std::max(1, int(std::lround(std::min(height * font.pixelSize() / cell, kMaxGlyphPixels)))));
    }
    if (f.width > 0) {
        const double natural = QFontMetricsF(font).averageCharWidth();
        const double wanted = f.width * xScale;
        const double widest = font.pixelSize() <= kCachedGlyphPixels
            ? 100.0 * kMaxCachedGlyphWidth / font.pixelSize()
            : 4000.0;
        if (natural > 0)
            font.setStretch(
                int(std::clamp(std::round(100 * wanted / natural), 1.0, std::min(4000.0, widest))));
    }
    const QFontMetricsF metrics(font);

    // Advances in image pixels.
    QList<double> advances;
    double total = 0;
    const bool useDx = dxIn.size() >= text.size();
    for (qsizetype i = 0; i < text.size(); ++i) {
        double a = useDx ? dxIn[i] * xScale : metrics.horizontalAdvance(text[i]);
        a += m_state.textCharExtra * xScale;
        if (!std::isfinite(a) || std::abs(a) > 1e6)
            a = 0;
        advances.append(a);
        total += a;
    }
    if (!useDx && m_state.textCharExtra == 0)
        total = metrics.horizontalAdvance(text);

    double x0 = 0;
    switch (m_state.textAlign & TaHorizontalMask) {
    case TaRight:
        x0 = -total;
        break;
    case TaCenter:
        x0 = -total / 2;
        break;
    default:
        break;
    }
    double baseline = metrics.ascent();
    switch (m_state.textAlign & TaVerticalMask) {
    case TaBaseline:
        baseline = 0;
        break;
    case TaBottom:
        baseline = -metrics.descent();
        break;
    default:
        break;
    }

    // The baseline follows the mapped x axis, turned by the escapement.
    double angle = qRadiansToDegrees(std::atan2(t.m12(), t.m11()));
    if (t.m11() < 0 && std::abs(t.m12()) < 1e-12)
        angle = 0; // a mirrored page does not turn text upside down
    angle -= f.escapement / 10.0;
    QTransform placement;
    placement.translate(origin.x(), origin.y());
    placement.rotate(angle);
    m_painter.setTransform(placement);
    m_painter.setFont(font);
    m_painter.setPen(color(m_state.textColor));
    if (m_state.bkMode == 2 && !(options & EtoOpaque))
        m_painter.fillRect(
            QRectF(x0, baseline - metrics.ascent(), total, metrics.height()), color(m_state.bkColor));
    const bool pieces = isSymbolFace(f.faceName) && std::any_of(text.begin(), text.end(), isBracketPiece);
    if (useDx || m_state.textCharExtra != 0 || pieces) {
        double x = x0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            qsizetype len = 1;
            if (text[i].isHighSurrogate() && i + 1 < text.size())
                len = 2;
            if (pieces && isBracketPiece(text[i]))
                drawBracketPiece(m_painter, QPointF(x, baseline), text[i], font);
            else
                m_painter.drawText(QPointF(x, baseline), text.mid(i, len));
            x += advances[i] + (len == 2 ? advances[i + 1] : 0);
            i += len - 1;
        }
    } else {
        m_painter.drawText(QPointF(x0, baseline), text);
    }
    m_painter.resetTransform();
    if (updateCp && xScale > 0) {
        const double logicalAdvance = total / xScale;
        m_state.currentPos = reference + QPointF(logicalAdvance, 0);
    }
}

} // namespace vm
