#pragma once
#include <QList>
#include <QSize>
#include <QString>
namespace vmtest {
// Where the shared picture corpus lives, or an empty string when it is absent.
QString corpusDir();

// One row of the corpus's MANIFEST.tsv; empty number columns read as 0.
struct CorpusEntry {
    QString path; // below the corpus folder, such as "emf/good/name.emf"
    QString expectation;
    QSize pixels;
    QSize extent; // hundredths of a millimetre
    QString notes;
};
// The manifest's rows below its column names; empty when it cannot be read.
QList<CorpusEntry> corpusManifest(const QString &corpus);
}
