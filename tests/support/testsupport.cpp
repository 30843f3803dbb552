#include "support/testsupport.h"
#include <QDir>
namespace vmtest {
QString corpusDir()
{
    const QString dir = QString::fromUtf8(VELMORA_CORPUS_DIR);
    return QDir(dir).exists(QStringLiteral("MANIFEST.tsv")) ? QDir(dir).absolutePath() : QString();
}
}
