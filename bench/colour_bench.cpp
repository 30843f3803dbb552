// What a colour profile costs: the same 24-megapixel photo opened with and
// without an Adobe RGB profile, in the viewer and in the preview, the two
// runs alternating so that a busy spell of the machine falls on both.
#include <QApplication>
#include <QFileInfo>

#include "browser/form1.h"
#include "scenarios.h"
#include "support/recorder.h"
#include "support/windows.h"
#include "viewer/form2.h"

namespace bench {

namespace {

// Opens the viewer on the file at `row` and returns to the browser; the
// time is that of opening alone. `shown` receives the viewer's picture.
Timing openViewer(int row, QImage &shown)
{
    vmtest::clickFile(row);
    Form1->hide();
    const Timing t = timed([] {
        Form2.Show();
        QCoreApplication::processEvents();
    });
    shown = Form2->Image1->surface().copy(0, 0, 64, 64);
    vmtest::triggerMenu("Form2", "ChanceViewMenu");
    QCoreApplication::processEvents();
    return t;
}

} // namespace

void measureColour(const Inputs &in, const Settings &s, std::vector<Row> &rows, QStringList &notes)
{
    // Each open on its own: with reading ahead, the other photo (a
    // neighbour) would be decoded beside it or served ready.
    const ReadAheadOff quiet;
    vmtest::openFolder(in.pictures);
    vmtest::MsgBoxRecorder boxes;
    const int tagged = rowOf(in.photo24mpAdobeRgb);
    const int plain = rowOf(in.photo24mp);
    Series openTagged { QStringLiteral("Velmora, Adobe RGB") };
    Series openPlain { QStringLiteral("Velmora, same photo untagged") };
    Series previewTagged { QStringLiteral("Velmora, Adobe RGB") };
    Series previewPlain { QStringLiteral("Velmora, same photo untagged") };
    bool converted = true;
    for (int i = 0; i < s.warmups + s.repeats; ++i) {
        const bool keep = i >= s.warmups;
        // Which goes first alternates too.
        for (int k = 0; k < 2; ++k) {
            const bool doTagged = (i + k) % 2 == 0;
            const int row = doTagged ? tagged : plain;
            vmtest::clickFile(row == tagged ? plain : tagged); // so that the timed click loads
            const Timing preview = timed([&] { vmtest::clickFile(row); });
            if (keep)
                (doTagged ? previewTagged : previewPlain).add(preview);
        }
        QImage a, b;
        const Timing t1 = openViewer(i % 2 ? plain : tagged, i % 2 ? b : a);
        const Timing t2 = openViewer(i % 2 ? tagged : plain, i % 2 ? a : b);
        if (keep) {
            (i % 2 ? openPlain : openTagged).add(t1);
            (i % 2 ? openTagged : openPlain).add(t2);
        }
        converted = converted && !a.isNull() && a != b;
    }
    if (!converted || boxes.errorBoxes() != 0)
        notes << QStringLiteral("**Colour: the tagged photo was not converted, or failed to open.**");
    rows.push_back({ QStringLiteral("Viewer open 6000x4000 JPEG, Adobe RGB"), openTagged, openPlain, 1.15 });
    rows.push_back(
        { QStringLiteral("Preview 6000x4000 JPEG, Adobe RGB"), previewTagged, previewPlain, 1.05 });
}

} // namespace bench
