#include "platform/controls/filelistbox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStringListModel>
#include <QTimer>

#include <chrono>

#include "platform/files/drives.h"
#include "platform/files/folderreader.h"
#include "platform/readahead.h"
#include "platform/runtimeerror.h"

namespace vm {

namespace {

// Long enough that a held key (30 repeats a second) never reads ahead; short
// enough that the next picture is ready before a resting user steps on.
constexpr int kRestMs = 120;

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

FileListBox::FileListBox(QWidget *parent)
    : QListView(parent)
    , m_model(new QStringListModel(this))
    , m_pattern(QStringLiteral("*.*"))
    , m_filter(compile(m_pattern))
    , m_path(drives::startFolder())
    , m_restTimer(new QTimer(this))
{
    setModel(m_model);
    m_restTimer->setSingleShot(true);
    m_restTimer->setInterval(kRestMs);
    connect(m_restTimer, &QTimer::timeout, this, &FileListBox::selectionRested);
    // Every change of the selection, the user's or the program's.
    connect(
        selectionModel(), &QItemSelectionModel::selectionChanged, m_restTimer, qOverload<>(&QTimer::start));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Large folders: one row height for all, no per-row measuring.
    setUniformItemSizes(true);
    try {
        list(m_path, m_filter);
    } catch (const RuntimeError &) {
        // An unreadable start-up folder leaves the list empty until a Path is set.
    }
}

FileListBox::Filter FileListBox::compile(const QString &pattern)
{
    Filter filter;
    static const QRegularExpression plainSuffix(QStringLiteral("^\\*\\.[^*?\\[\\]]+$"));
    for (const QString &raw : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString part = raw.trimmed();
        if (part.isEmpty())
            continue;
        if (part == QLatin1String("*") || part == QLatin1String("*.*")) {
            filter.all = true; // as users know it, "*.*" also lists names without a dot
        } else if (plainSuffix.match(part).hasMatch()) {
            filter.suffixes.append(part.mid(1));
        } else {
            filter.others.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(part),
                QRegularExpression::CaseInsensitiveOption));
        }
    }
    filter.all = filter.all || (filter.suffixes.isEmpty() && filter.others.isEmpty());
    return filter;
}

bool FileListBox::admits(const Filter &filter, const QString &name)
{
    if (filter.all)
        return true;
    for (const QString &suffix : filter.suffixes) {
        if (name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    }
    for (const QRegularExpression &re : filter.others) {
        if (re.match(name).hasMatch())
            return true;
    }
    return false;
}

bool FileListBox::matches(const QString &name) const
{
    return admits(m_filter, name);
}

void FileListBox::list(const QString &folder, const Filter &filter)
{
    QStringList names
        = readFolder(folder, EntryKind::File, [&](const QString &name) { return admits(filter, name); });
    sortNames(names);
    m_model->setStringList(names);
    m_path = folder;
    // What was read ahead belongs to the folder shown before.
    m_restTimer->stop();
    m_clickOwed = false;
    readahead::dropAll();
    selectionModel()->clear();
    scrollToTop();
}

void FileListBox::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    m_filter = compile(pattern);
    try {
        list(m_path, m_filter);
    } catch (const RuntimeError &) {
        // The folder went away; entries chosen by the old pattern would mislead.
        m_model->setStringList({});
    }
}

void FileListBox::setPath(const QString &path)
{
    list(resolveFolder(path, false), m_filter);
}

QString FileListBox::List(int index) const
{
    const QStringList &names = m_model->stringList();
    return index >= 0 && index < names.size() ? names.at(index) : QString();
}

QString FileListBox::FileName() const
{
    return List(ListIndex());
}

int FileListBox::ListIndex() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void FileListBox::setListIndex(int index)
{
    if (index < -1 || index >= ListCount())
        vm::raise(Err::InvalidPropertyValue);
    if (index == -1) {
        selectionModel()->clear();
        return;
    }
    const QModelIndex item = m_model->index(index);
    selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
    scrollTo(item);
}

int FileListBox::ListCount() const
{
    return m_model->rowCount();
}

QItemSelectionModel::SelectionFlags FileListBox::selectionCommand(
    const QModelIndex &index, const QEvent *event) const
{
    // A click below the entries, Ctrl+click or Ctrl+Space would otherwise
    // clear the one selection; the list keeps the entry the user last chose.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
    if (flags.testFlag(QItemSelectionModel::Deselect))
        return QItemSelectionModel::ClearAndSelect;
    return flags;
}

void FileListBox::raiseClick()
{
    m_clickOwed = false;
    Q_EMIT Click();
    m_lastClickEnd = nowMs();
}

void FileListBox::raiseClickIfMoved(int before)
{
    if (ListIndex() != before)
        raiseClick();
}

bool FileListBox::queuedBehindLastClick(const QKeyEvent *event)
{
    // A key event made while the last Click was still running has waited in
    // the queue: keys come faster than previews finish. Its moment, on our
    // clock, is its timestamp plus the smallest offset seen (that of an
    // event delivered at once). Events without a timestamp (0) are never
    // taken for queued ones.
    const qint64 stamp = qint64(event->timestamp());
    if (stamp == 0)
        return false;
    const qint64 offset = nowMs() - stamp;
    // A new clock (another source of events, or one that wrapped): start over.
    if (!m_haveKeyClock || offset < m_keyClockOffset || offset > m_keyClockOffset + 60'000) {
        m_keyClockOffset = offset;
        m_haveKeyClock = true;
    }
    return stamp + m_keyClockOffset < m_lastClickEnd;
}

void FileListBox::raiseClickWhenQueueDrains()
{
    if (m_clickOwed)
        return;
    m_clickOwed = true;
    // Queued after the keys already waiting, so it runs once they are done,
    // for wherever they leave the selection.
    QTimer::singleShot(0, this, [this] {
        if (m_clickOwed && ListIndex() != -1)
            raiseClick();
        m_clickOwed = false;
    });
}

void FileListBox::selectionRested()
{
    const int index = ListIndex();
    if (index != -1)
        readahead::restedOn(m_path, FileName(), List(index + 1), List(index - 1));
}

void FileListBox::mousePressEvent(QMouseEvent *event)
{
    const int before = ListIndex();
    QListView::mousePressEvent(event);
    const QModelIndex hit = indexAt(event->position().toPoint());
    // A click on the entry already chosen is a click all the same.
    const bool reclicked = event->button() == Qt::LeftButton && hit.isValid() && hit.row() == ListIndex();
    if (ListIndex() != before || reclicked)
        raiseClick();
}

void FileListBox::mouseMoveEvent(QMouseEvent *event)
{
    const int before = ListIndex();
    QListView::mouseMoveEvent(event);
    raiseClickIfMoved(before);
}

void FileListBox::mouseReleaseEvent(QMouseEvent *event)
{
    const int before = ListIndex();
    QListView::mouseReleaseEvent(event);
    raiseClickIfMoved(before);
}

void FileListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QListView::mouseDoubleClickEvent(event);
    const QModelIndex hit = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && hit.isValid() && hit.row() == ListIndex())
        Q_EMIT DblClick();
}

void FileListBox::keyPressEvent(QKeyEvent *event)
{
    const int before = ListIndex();
    // With nothing chosen, Qt's cursor may still rest on the first entry, so
    // Down would skip it and Up do nothing: the first move chooses an entry
    // (the last for End, the first for the others) and previews it.
    if (before == -1 && ListCount() > 0 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        int row = -1;
        switch (event->key()) {
        case Qt::Key_Down:
        case Qt::Key_Up:
        case Qt::Key_PageDown:
        case Qt::Key_PageUp:
        case Qt::Key_Home:
            row = 0;
            break;
        case Qt::Key_End:
            row = ListCount() - 1;
            break;
        default:
            break;
        }
        if (row >= 0) {
            setListIndex(row);
            event->accept();
            raiseClickIfMoved(before);
            return;
        }
    }
    const bool queued = queuedBehindLastClick(event);
    QListView::keyPressEvent(event);
    if (ListIndex() == before)
        return;
    // Every key moves the selection; the previews of entries passed over
    // while later keys wait are skipped, and the last one is owed.
    if (queued)
        raiseClickWhenQueueDrains();
    else
        raiseClick();
}

} // namespace vm
