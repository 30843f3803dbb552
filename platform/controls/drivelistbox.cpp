#include "platform/controls/drivelistbox.h"

#include "platform/controls/accessiblecombo.h"

#include <QDir>
#include <QSignalBlocker>
#include <QStyle>

#include "platform/files/drives.h"
#include "platform/runtimeerror.h"

namespace vm {
namespace {

QIcon driveIcon(const QStyle *style, const DriveInfo &drive)
{
    static const QStringList discs = { QStringLiteral("iso9660"), QStringLiteral("udf") };
    static const QStringList network
        = { QStringLiteral("nfs"), QStringLiteral("nfs4"), QStringLiteral("cifs"), QStringLiteral("smb3"),
              QStringLiteral("smbfs"), QStringLiteral("fuse.sshfs"), QStringLiteral("fuse.rclone") };
    if (discs.contains(drive.type))
        return style->standardIcon(QStyle::SP_DriveCDIcon);
    if (network.contains(drive.type))
        return style->standardIcon(QStyle::SP_DriveNetIcon);
    return style->standardIcon(QStyle::SP_DriveHDIcon);
}

} // namespace

DriveListBox::DriveListBox(QWidget *parent)
    : QComboBox(parent)
{
    installDriveListAccessibility();
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    const QList<DriveInfo> drives = drives::list();
    const auto start = drives::driveOf(drives, drives::startFolder());
    m_drive = start ? start->text() : QStringLiteral("/");
    fill(drives);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::onIndexChanged);
}

void DriveListBox::setDrive(const QString &driveOrPath)
{
    const QList<DriveInfo> drives = drives::list();
    std::optional<DriveInfo> chosen;
    for (const DriveInfo &drive : drives) {
        if (drive.text() == driveOrPath)
            chosen = drive;
    }
    if (!chosen && driveOrPath.startsWith(QLatin1Char('/')) && !drives::isVanished(driveOrPath))
        chosen = drives::driveOf(drives, QDir::cleanPath(driveOrPath));
    if (!chosen)
        vm::raise(Err::DeviceUnavailable);

    fill(drives);
    const QString text = chosen->text();
    if (text == m_drive)
        return;
    m_drive = text;
    selectText(text);
    Q_EMIT Change();
}

void DriveListBox::refresh()
{
    fill(drives::list());
}

void DriveListBox::showPopup()
{
    refresh();
    QComboBox::showPopup();
}

void DriveListBox::fill(const QList<DriveInfo> &drives)
{
    m_filling = true;
    const QSignalBlocker blocker(this);
    clear();
    bool chosenPresent = false;
    for (const DriveInfo &drive : drives) {
        addItem(driveIcon(style(), drive), drive.text());
        chosenPresent = chosenPresent || drive.text() == m_drive;
    }
    // A chosen drive that was taken out stays shown until another is chosen.
    if (!chosenPresent)
        addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), m_drive);
    selectText(m_drive);
    m_filling = false;
}

void DriveListBox::selectText(const QString &text)
{
    const QSignalBlocker blocker(this);
    setCurrentIndex(findText(text, Qt::MatchExactly));
}

void DriveListBox::onIndexChanged(int index)
{
    if (m_filling || index < 0)
        return;
    const QString text = itemText(index);
    if (text == m_drive)
        return;
    m_drive = text;
    Q_EMIT Change();
}

} // namespace vm
