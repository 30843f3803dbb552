#include "support/testsupport.h"
#include <QDir>
#include <QFile>
namespace vmtest {
QString corpusDir()
{
    const QString dir = QString::fromUtf8(VELMORA_CORPUS_DIR);
    return QDir(dir).exists(QStringLiteral("MANIFEST.tsv")) ? QDir(dir).absolutePath() : QString();
}

QList<CorpusEntry> corpusManifest(const QString &corpus)
{
    QList<CorpusEntry> rows;
    QFile file(corpus + QStringLiteral("/MANIFEST.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    file.readLine(); // column names
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        if (line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() < 10)
            continue;
        rows.append(
            { f[0], f[3], QSize(f[4].toInt(), f[5].toInt()), QSize(f[6].toInt(), f[7].toInt()), f[9] });
    }
    return rows;
}
}
