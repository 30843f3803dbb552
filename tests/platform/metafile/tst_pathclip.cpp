// Cutting strokes to the picture and pricing antialiased shapes: what the
// player relies on to keep hostile geometry from stalling it.
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTest>

#include <cmath>

#include "platform/metafile/pathclip.h"

namespace {

// (A braced pair of points would also make a QRectF.)
QPolygonF run(std::initializer_list<QPointF> points)
{
    return QPolygonF(QList<QPointF>(points));
}

QPainterPath open(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(run(points));
    return path;
}

QPainterPath closed(std::initializer_list<QPointF> points)
{
    QPainterPath path = open(points);
    path.closeSubpath();
    return path;
}

// A star of `points` points whose spikes cross the whole box.
QPainterPath star(int points, QSizeF box)
{
    QPolygonF polygon;
    for (int i = 0; i < points; ++i) {
        const double a = i * 2 * M_PI * (points / 2) / points;
        const double r = i % 2 ? 0.35 : 1.3;
        polygon << QPointF(box.width() / 2 * (1 + r * std::cos(a)), box.height() / 2 * (1 + r * std::sin(a)));
    }
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    return path;
}

// Pixels a fill of `path` covers on a 200 x 200 image.
int covered(const QPainterPath &path)
{
    QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(0);
    QPainter p(&image);
    p.fillPath(path, Qt::black);
    p.end();
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) > 127;
    }
    return n;
}

} // namespace

class TestPathClip : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void linesAreCutToTheRectangle_data()
    {
        QTest::addColumn<QPainterPath>("path");
        QTest::addColumn<QList<QPolygonF>>("runs");
        QTest::newRow("inside, open: kept")
            << open({ { 10, 10 }, { 90, 10 }, { 90, 90 } })
            << QList<QPolygonF> { run({ { 10, 10 }, { 90, 10 }, { 90, 90 } }) };
        QTest::newRow("inside, closed: kept closed")
            << closed({ { 10, 10 }, { 90, 10 }, { 90, 90 } })
            << QList<QPolygonF> { run({ { 10, 10 }, { 90, 10 }, { 90, 90 }, { 10, 10 } }) };
        QTest::newRow("line out to a million: ends on the edge")
            << open({ { 10, 50 }, { 1e6, 50 } }) << QList<QPolygonF> { run({ { 10, 50 }, { 100, 50 } }) };
        QTest::newRow("line across: both ends on the edges")
            << open({ { -1e6, 50 }, { 1e6, 50 } }) << QList<QPolygonF> { run({ { 0, 50 }, { 100, 50 } }) };
        QTest::newRow("wholly outside: nothing")
            << open({ { -50, -50 }, { -10, 200 } }) << QList<QPolygonF> {};
        QTest::newRow("out and back in: two runs")
            << open({ { 10, 10 }, { 10, 1e5 }, { 90, 1e5 }, { 90, 10 } })
            << QList<QPolygonF> { run({ { 10, 10 }, { 10, 100 } }), run({ { 90, 100 }, { 90, 10 } }) };
        // The corner at (90, 10) stays a join: the ring is walked from the
        // point outside.
        QTest::newRow("closed ring partly outside: one run through the seen corners")
            << closed({ { 10, 10 }, { 90, 10 }, { 90, 1e5 }, { 10, 1e5 } })
            << QList<QPolygonF> { run({ { 10, 100 }, { 10, 10 }, { 90, 10 }, { 90, 100 } }) };
    }
    void linesAreCutToTheRectangle()
    {
        QFETCH(QPainterPath, path);
        QFETCH(QList<QPolygonF>, runs);
        const QList<QPolygonF> got = vm::linesWithin(path, QRectF(0, 0, 100, 100)).toSubpathPolygons();
        QCOMPARE(got.size(), runs.size());
        for (qsizetype i = 0; i < runs.size(); ++i) {
            QCOMPARE(got[i].size(), runs[i].size());
            for (qsizetype j = 0; j < runs[i].size(); ++j)
                QVERIFY2(QLineF(got[i][j], runs[i][j]).length() < 1e-6,
                    qPrintable(QStringLiteral("run %1 point %2").arg(i).arg(j)));
        }
    }

    // The price must tell the shapes that stall the rasteriser from those
    // real pictures are made of, with room between them.
    // A fill reaching far past the page is cut to it before it is filled:
    // what shows is the same, under either fill rule.
    void areaCutToTheRectangleFillsAlike_data()
    {
        QTest::addColumn<QPainterPath>("path");
        QTest::addColumn<int>("rule");
        for (const Qt::FillRule rule : { Qt::OddEvenFill, Qt::WindingFill }) {
            const QString name
                = rule == Qt::OddEvenFill ? QStringLiteral("odd-even") : QStringLiteral("winding");
            QPainterPath s = star(9, QSizeF(5000, 3000));
            s.translate(-2400, -1400);
            QTest::newRow(qPrintable(name + QStringLiteral(", star across the page"))) << s << int(rule);
            QPainterPath twice;
            twice.addRect(-5000, 20, 10000, 50);
            twice.addRect(40, -5000, 30, 10000); // crossing: a hole under odd-even
            QTest::newRow(qPrintable(name + QStringLiteral(", crossing bars"))) << twice << int(rule);
        }
    }
    void areaCutToTheRectangleFillsAlike()
    {
        QFETCH(QPainterPath, path);
        QFETCH(int, rule);
        path.setFillRule(Qt::FillRule(rule));
        const QRectF page(-16, -16, 232, 232);
        const QPainterPath cut = vm::areaWithin(path, page);
        QVERIFY(page.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(cut.controlPointRect()));
        QCOMPARE(covered(cut), covered(path));
    }

    // Subpaths thinner than a billionth of their size enclose nothing and
    // are dropped before Qt's path clipper sees them (it crashed on this
    // one, a fuzz find); everything else stays as it was.
    void slivers()
    {
        QPainterPath thin;
        thin.moveTo(-2.9936763602411211e-30, -1.8456992112131229e-08);
        thin.lineTo(-1.8894763169921784e-27, -1.8456992112131229e-08);
        thin.lineTo(-1.8894763169921784e-27, -3382.2880406637719);
        thin.lineTo(-2.9936763602411211e-30, -3382.2880406637719);
        thin.closeSubpath();
        QPainterPath page;
        page.addRect(-16, -16, 288, 288);
        QVERIFY(vm::withoutSlivers(thin).intersected(page).isEmpty());
        QCOMPARE(covered(vm::areaWithin(thin, page.boundingRect())), 0);

        QPainterPath both = thin;
        both.addEllipse(10, 10, 50, 30);
        const QPainterPath kept = vm::withoutSlivers(both);
        QCOMPARE(kept.controlPointRect(), QRectF(10, 10, 50, 30));
        QCOMPARE(covered(kept), covered(both));
        QPainterPath plain;
        plain.addEllipse(10, 10, 50, 30);
        QCOMPARE(vm::withoutSlivers(plain), plain);
    }

    void antialiasingCostSeparatesStallingShapes_data()
    {
        QTest::addColumn<QPainterPath>("path");
        QTest::addColumn<double>("penWidth");
        QTest::addColumn<bool>("affordable");
        const QSizeF page(1000, 1400);
        QPainterPath ellipse;
        ellipse.addEllipse(QRectF(QPointF(0, 0), page));
        QPainterPath grid;
        for (int y = 0; y < 1400; y += 20)
            grid.addRect(QRectF(0, y, 1000, 2));
        QTest::newRow("page-sized ellipse") << ellipse << 0.0 << true;
        QTest::newRow("page-sized ellipse, wide pen") << ellipse << 40.0 << true;
        QTest::newRow("70 full-width bars") << grid << 0.0 << true;
        QTest::newRow("13-point star") << star(13, page) << 0.0 << true;
        QTest::newRow("97-point star") << star(97, page) << 0.0 << false;
        QTest::newRow("49-point star, 35-pixel pen") << star(49, page) << 35.0 << false;
    }
    void antialiasingCostSeparatesStallingShapes()
    {
        QFETCH(QPainterPath, path);
        QFETCH(double, penWidth);
        QFETCH(bool, affordable);
        const double cost = vm::antialiasingCost(path, QRectF(0, 0, 1000, 1400), penWidth);
        if (affordable)
            QVERIFY2(cost < 0.3e6, qPrintable(QString::number(cost)));
        else
            QVERIFY2(cost > 5e6, qPrintable(QString::number(cost)));
    }

    void onlyTheSeenPartIsPriced()
    {
        const QPainterPath far = star(97, QSizeF(1e6, 1e6));
        const QPainterPath near = star(97, QSizeF(1000, 1400));
        // The far star has no edge inside the page but its spikes: cheaper
        // there than the star drawn on the page itself.
        QVERIFY(vm::antialiasingCost(far, QRectF(0, 0, 1000, 1400))
            < vm::antialiasingCost(near, QRectF(0, 0, 1000, 1400)));
    }
};

QTEST_MAIN(TestPathClip)
#include "tst_pathclip.moc"
