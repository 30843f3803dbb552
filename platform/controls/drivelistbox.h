// The drive list: a drop-down of the mounted drives. Its Drive is the chosen
// drive's display text, which the folder list takes as a path.
#pragma once

#include <QComboBox>

namespace vm {

struct DriveInfo;

class DriveListBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(QString Drive READ Drive WRITE setDrive)

public:
    explicit DriveListBox(QWidget *parent = nullptr);

    QString Drive() const { return m_drive; }
    // Takes a drive's display text or any path on a drive; raises Change when
    // that is another drive. Throws DeviceUnavailable for a drive not mounted.
    void setDrive(const QString &driveOrPath);

    // Reads the mounted drives again, keeping the chosen one.
    void refresh();

    void showPopup() override;

Q_SIGNALS:
    void Change();

private:
    void fill(const QList<DriveInfo> &drives);
    void selectText(const QString &text);
    void onIndexChanged(int index);

    QString m_drive;
    bool m_filling = false;
};

} // namespace vm
