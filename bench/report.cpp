#include "report.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace bench {

double Series::medianOf(std::vector<double> v)
{
    if (v.empty())
        return std::nan("");
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Series::min() const
{
    return values.empty() ? std::nan("") : *std::min_element(values.begin(), values.end());
}

double Series::max() const
{
    return values.empty() ? std::nan("") : *std::max_element(values.begin(), values.end());
}

double Row::ratio() const
{
    return ours.median() / baseline.median();
}

namespace {

QString number(double v)
{
    if (std::isnan(v))
        return QStringLiteral("-");
    if (std::fabs(v) >= 100)
        return QString::number(v, 'f', 0);
    if (std::fabs(v) >= 10)
        return QString::number(v, 'f', 1);
    return QString::number(v, 'f', 2);
}

QString spread(const Series &s, const QString &unit)
{
    return QStringLiteral("%1 %2 (%3–%4)").arg(number(s.median()), unit, number(s.min()), number(s.max()));
}

} // namespace

QString markdownTable(const std::vector<Row> &rows)
{
    QString out = QStringLiteral("| Measure | Velmora median (min–max) | Baseline | Baseline median "
                                 "(min–max) | Ratio | Goal | Met | CPU ratio |\n"
                                 "|---|---|---|---|---|---|---|---|\n");
    for (const Row &r : rows) {
        const double cpu = r.cpuRatio();
        out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |\n")
                   .arg(r.measure, spread(r.ours, r.unit), r.baseline.name, spread(r.baseline, r.unit),
                       number(r.ratio()) + QStringLiteral(" x"),
                       r.goal > 0 ? QStringLiteral("≤ %1 x").arg(number(r.goal)) : QStringLiteral("info"),
                       r.goal > 0 ? (r.met() ? QStringLiteral("yes") : QStringLiteral("**no**"))
                                  : QStringLiteral("-"),
                       std::isnan(cpu) ? QStringLiteral("-") : number(cpu) + QStringLiteral(" x"));
    }
    return out;
}

bool writeChart(const std::vector<Row> &rows, const QString &file, const QString &machine)
{
    const int labelWidth = 560;
    const int barWidth = 520;
    const int rowHeight = 26;
    const int top = 56;
    const int height = top + int(rows.size()) * rowHeight + 40;
    QImage image(labelWidth + barWidth + 40, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);

    // Ratios on a log scale from 1/16 to 16: 1 (as fast as the baseline) in the middle.
    const auto xFor = [&](double ratio) {
        const double clamped = std::clamp(ratio, 1.0 / 16, 16.0);
        return labelWidth + barWidth / 2.0 + std::log2(clamped) / 4.0 * (barWidth / 2.0);
    };
    p.setPen(Qt::black);
    p.drawText(QRect(10, 6, labelWidth + barWidth, 20), Qt::AlignLeft,
        QStringLiteral("Velmora / baseline, medians of the same run (log scale; left of 1 = better than the "
                       "baseline; | = goal)"));
    p.drawText(QRect(10, 26, labelWidth + barWidth, 20), Qt::AlignLeft, machine);
    for (double tick : { 1.0 / 16, 0.25, 1.0, 4.0, 16.0 }) {
        const double x = xFor(tick);
        p.setPen(QColor(200, 200, 200));
        p.drawLine(QPointF(x, top - 4), QPointF(x, height - 34));
        p.setPen(Qt::black);
        p.drawText(QRectF(x - 30, height - 30, 60, 20), Qt::AlignCenter,
            tick < 1 ? QStringLiteral("1/%1").arg(int(1 / tick)) : QString::number(tick));
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row &r = rows[i];
        const int y = top + int(i) * rowHeight;
        p.setPen(Qt::black);
        p.drawText(QRect(10, y, labelWidth - 20, rowHeight), Qt::AlignVCenter | Qt::AlignRight,
            r.measure + QStringLiteral(" vs ") + r.baseline.name);
        const double ratio = r.ratio();
        if (std::isnan(ratio))
            continue;
        const double x0 = xFor(1.0);
        const double x1 = xFor(ratio);
        const QColor colour = r.goal <= 0 ? QColor(140, 140, 160)
            : r.met()                     ? QColor(60, 150, 80)
                                          : QColor(200, 60, 50);
        p.fillRect(
            QRectF(std::min(x0, x1), y + 5, std::max(2.0, std::fabs(x1 - x0)), rowHeight - 10), colour);
        if (r.goal > 0) {
            p.setPen(QPen(Qt::black, 2));
            const double xg = xFor(r.goal);
            p.drawLine(QPointF(xg, y + 2), QPointF(xg, y + rowHeight - 2));
        }
        p.setPen(Qt::black);
        const double labelX = std::max({ x0, x1, r.goal > 0 ? xFor(r.goal) : x0 }) + 4;
        p.drawText(QRectF(labelX, y, 80, rowHeight), Qt::AlignVCenter | Qt::AlignLeft,
            number(ratio) + QStringLiteral(" x"));
    }
    p.end();
    return image.save(file);
}

} // namespace bench
