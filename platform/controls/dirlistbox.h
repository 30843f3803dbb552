// The folder list: the open folder with its parents up to the drive's root,
// each indented one step further, and below them the open folder's subfolders.
// A double-click or Enter opens an entry; a click or an arrow key only moves
// the highlight.
#pragma once

#include <QListWidget>

namespace vm {

class DirListBox : public QListWidget {
    Q_OBJECT
    Q_PROPERTY(QString Path READ Path WRITE setPath)

public:
    explicit DirListBox(QWidget *parent = nullptr);

    QString Path() const { return m_path; }
    // Opens a folder, or a drive's display text (that drive's current folder),
    // and raises Change before returning when the folder changes. Throws
    // RuntimeError, leaving the list as it was, when the folder is missing,
    // unreadable or on a drive that went away.
    void setPath(const QString &path);

    // Full folder path of an entry.
    static QString folderOf(const QListWidgetItem *item);

Q_SIGNALS:
    void Change();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void openFolder(const QString &folder);
    void openByUser(const QListWidgetItem *item);
    void rebuild(const QStringList &subfolders);

    QString m_path;
};

} // namespace vm
