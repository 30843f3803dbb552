#include "platform/controls/dirlistbox.h"

#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include "platform/files/drives.h"
#include "platform/files/folderreader.h"
#include "platform/runtime.h"
#include "platform/runtimeerror.h"

namespace vm {
namespace {

constexpr int FolderRole = Qt::UserRole;
constexpr int LevelRole = Qt::UserRole + 1;

// Draws each entry indented by its depth below the drive's root.
class IndentDelegate : public QStyledItemDelegate {
public:
    IndentDelegate(int step, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_step(step)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->rect.setLeft(option->rect.left() + indent(index));
    }

private:
    int indent(const QModelIndex &index) const { return m_step * index.data(LevelRole).toInt(); }
    int m_step;
};

QString childPath(const QString &folder, const QString &name)
{
    return folder == QLatin1String("/") ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

DirListBox::DirListBox(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setItemDelegate(
        new IndentDelegate(style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this) * 3 / 4, this));

    // Start in the process's folder; should that be unreadable, in the nearest
    // parent that can be read, so the list never starts out empty.
    QString folder = drives::startFolder();
    for (;;) {
        try {
            openFolder(folder);
            return;
        } catch (const RuntimeError &e) {
            QString parent = QFileInfo(folder).path();
            // A share whose server does not answer is left whole: each of its
            // folders would wait for that server in turn.
            if (e.number() == Err::DeviceUnavailable) {
                if (const auto drive = drives::driveOf(folder))
                    parent = QFileInfo(drive->root).path();
            }
            if (parent == folder) // the root, unreadable as well
                return;
            folder = parent;
        }
    }
}

void DirListBox::setPath(const QString &path)
{
    openFolder(resolveFolder(path, true));
}

QString DirListBox::folderOf(const QListWidgetItem *item)
{
    return item ? item->data(FolderRole).toString() : QString();
}

void DirListBox::openFolder(const QString &folder)
{
    QStringList subfolders = readFolder(folder, EntryKind::Folder);
    sortNames(subfolders);
    const bool changed = folder != m_path;
    m_path = folder;
    drives::setCurrentFolder(folder);
    rebuild(subfolders);
    if (changed)
        Q_EMIT Change();
}

void DirListBox::openByUser(const QListWidgetItem *item)
{
    const QString folder = folderOf(item);
    if (!folder.isEmpty())
        runEvent([&] { openFolder(folder); });
}

void DirListBox::rebuild(const QStringList &subfolders)
{
    const auto drive = drives::driveOf(m_path);
    const QString root = drive ? drive->root : QStringLiteral("/");
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon, nullptr, this);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon, nullptr, this);

    // Each item is filled in before it joins the list: an item that names
    // its list from the start looks itself up in the whole list for every
    // field it is given, which made a folder of 100 000 subfolders take
    // seconds.
    const auto add = [this](const QIcon &icon, const QString &text, const QString &folder, int level) {
        auto *item = new QListWidgetItem(icon, text);
        item->setData(FolderRole, folder);
        item->setData(LevelRole, level);
        item->setToolTip(folder);
        addItem(item);
        return item;
    };

    clear();
    QListWidgetItem *open = add(openIcon, drive ? drive->text() : root, root, 0);
    int level = 0;
    QString folder = root;
    const QStringList steps = m_path.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &step : steps) {
        folder = childPath(folder, step);
        open = add(openIcon, step, folder, ++level);
    }
    for (const QString &name : subfolders)
        add(closedIcon, name, childPath(m_path, name), level + 1);
    setCurrentItem(open);
    scrollToItem(open);
}

void DirListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (currentItem()) {
            openByUser(currentItem());
            event->accept();
            return;
        }
    }
    QListWidget::keyPressEvent(event);
}

void DirListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QListWidgetItem *item = itemAt(event->position().toPoint());
    if (item && event->button() == Qt::LeftButton) {
        openByUser(item);
        event->accept();
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
}

} // namespace vm
