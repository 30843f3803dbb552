#include "platform/format.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace vm {

QString Format(double value, const QString &pattern)
{
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    const QStringView intPart = point < 0 ? QStringView(pattern) : QStringView(pattern).left(point);
    const QStringView fracPart = point < 0 ? QStringView() : QStringView(pattern).mid(point + 1);
    const int minInt = int(intPart.count(QLatin1Char('0')));
    const int minFrac = int(fracPart.count(QLatin1Char('0')));
    const int maxFrac = minFrac + int(fracPart.count(QLatin1Char('#')));

    if (!std::isfinite(value))
        return QString::number(value);

    // 'f' formatting rounds the exact binary value to nearest, which is what
    // a reader of "12.7" expects; then drop the optional trailing zeros.
    QString digits = QString::number(std::fabs(value), 'f', maxFrac);
    const bool negative = std::signbit(value) && digits.contains(QRegularExpression(QStringLiteral("[1-9]")));
    qsizetype dot = digits.indexOf(QLatin1Char('.'));
    QString whole = dot < 0 ? digits : digits.left(dot);
    QString frac = dot < 0 ? QString() : digits.mid(dot + 1);
    while (frac.size() > minFrac && frac.endsWith(QLatin1Char('0')))
        frac.chop(1);
    if (whole == QLatin1String("0") && minInt == 0)
        whole.clear();
    while (whole.size() < minInt)
        whole.prepend(QLatin1Char('0'));

    QString out = negative ? QStringLiteral("-") : QString();
    out += whole;
    if (!frac.isEmpty())
        out += QLocale().decimalPoint() + frac;
    return out;
}

} // namespace vm
