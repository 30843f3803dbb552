#include "platform/metafile/symbolfont.h"

#include <string_view>

namespace vm {

namespace {

// Symbol codes 0x20..0x7F and 0xA0..0xFF to Unicode, in rows of 32 codes.
// Characters that Unicode normalisation would rewrite are escaped, so that an
// editor cannot change them.
constexpr std::u16string_view kLow = u" !∀#∃%&∋()∗+,−./0123456789:;<=>?" // 20
                                     u"≅ΑΒΧΔΕΦΓΗΙϑΚΛΜΝΟΠΘΡΣΤΥςΩΞΨΖ[∴]⊥_" // 40
                                     u"‾αβχδεφγηιϕκλμνοπθρστυϖωξψζ{|}∼\uFFFD"; // 60
constexpr std::u16string_view kHigh = u"€ϒ′≤⁄∞ƒ♣♦♥♠↔←↑→↓°±″≥×∝∂•÷\u2260≡≈…⏐⎯↵" // A0
                                      u"ℵℑℜ℘⊗⊕∅∩∪⊃⊇\u2284⊂⊆∈\u2209∠∇®©™∏√⋅¬∧∨⇔⇐⇑⇒⇓" // C0
                                      u"◊\u2329®©™∑⎛⎜⎝⎡⎢⎣⎧⎨⎩⎪\uFFFD\u232A∫⌠⎮⌡⎞⎟⎠⎤⎥⎦⎫⎬⎭\uFFFD"; // E0
static_assert(kLow.size() == 96 && kHigh.size() == 96);

} // namespace

bool isSymbolFace(const QString &face)
{
    return face.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0;
}

QString decodeSymbolText(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes) {
        const quint8 code = quint8(byte);
        if (code >= 0x20 && code < 0x80)
            text.append(QChar(kLow[code - 0x20]));
        else if (code >= 0xA0)
            text.append(QChar(kHigh[code - 0xA0]));
        else
            text.append(QChar(0xFFFD));
    }
    return text;
}

} // namespace vm
