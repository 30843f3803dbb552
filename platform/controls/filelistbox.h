// The file list: the regular files of one folder whose names match a pattern,
// in the order a user reads them. The user's selection raises Click; the
// program's own setting of ListIndex or Path raises nothing.
#pragma once

#include <QListView>
#include <QRegularExpression>

class QStringListModel;
class QTimer;

namespace vm {

class FileListBox : public QListView {
    Q_OBJECT
    Q_PROPERTY(QString Pattern READ Pattern WRITE setPattern)
    Q_PROPERTY(QString Path READ Path WRITE setPath)
    Q_PROPERTY(QString FileName READ FileName)
    Q_PROPERTY(int ListIndex READ ListIndex WRITE setListIndex)
    Q_PROPERTY(int ListCount READ ListCount)

public:
    explicit FileListBox(QWidget *parent = nullptr);

    QString Pattern() const { return m_pattern; }
    // ";"-separated wildcards, matched without regard to case; "*.*", "*" or
    // an empty pattern list every file. Lists the folder again.
    void setPattern(const QString &pattern);

    QString Path() const { return m_path; }
    // Lists the folder's matching files with none selected. Throws
    // RuntimeError, leaving the list as it was, when the folder is missing,
    // unreadable or on a drive that went away.
    void setPath(const QString &path);

    // The selected entry's name, without folder; empty with no selection.
    QString FileName() const;
    // Index of the selected entry, -1 for none. Setting it selects and shows
    // the entry without raising Click; a value outside -1 .. ListCount - 1
    // throws InvalidPropertyValue.
    int ListIndex() const;
    void setListIndex(int index);
    int ListCount() const;

    // The entry's name at an index, empty outside the list.
    QString List(int index) const;

    // True for a name that the pattern admits.
    bool matches(const QString &name) const;

Q_SIGNALS:
    void Click();
    void DblClick();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex &index, const QEvent *event = nullptr) const override;

private:
    struct Filter {
        QStringList suffixes; // "*.ext" patterns, as ".ext"
        QList<QRegularExpression> others; // any other wildcard
        bool all = false;
    };
    static Filter compile(const QString &pattern);
    static bool admits(const Filter &filter, const QString &name);
    void list(const QString &folder, const Filter &filter);
    void raiseClickIfMoved(int before);
    void raiseClick();
    bool queuedBehindLastClick(const QKeyEvent *event);
    void raiseClickWhenQueueDrains();
    void selectionRested();

    QStringListModel *m_model;
    QString m_pattern;
    Filter m_filter;
    QString m_path;

    // Reading ahead starts once the selection has rested this long.
    QTimer *m_restTimer;
    // Held keys: the offset between the key events' clock and ours (the
    // smallest seen, that of an event delivered at once), when the last
    // Click ended, and whether a Click skipped for a queued key is owed.
    qint64 m_keyClockOffset = 0;
    bool m_haveKeyClock = false;
    qint64 m_lastClickEnd = 0;
    bool m_clickOwed = false;
};

} // namespace vm
