#include "support/windows.h"

#include "app/application.h"
#include "browser/form1.h"
#include "platform/runtime.h"
#include "viewer/form2.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QtTest>

namespace vmtest {

void startProgram()
{
    stopProgram();
    vm::resetEnded();
    app::configure(*qApp);
    Form1.Show();
    // Generous: under a window manager on a busy machine mapping takes a while.
    QVERIFY(QTest::qWaitForWindowExposed(Form1.peek(), 30000));
}

void stopProgram()
{
    Form2.destroy();
    Form1.destroy();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void openFolder(const QString &folder)
{
    Form1->Dir1->setPath(folder); // raises Change, and the file list follows
}

static QPoint rowCentre(int row)
{
    auto *view = static_cast<QAbstractItemView *>(Form1->File1);
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    return view->visualRect(index).center();
}

void clickFile(int row)
{
    auto *view = static_cast<QAbstractItemView *>(Form1->File1);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(row));
}

void doubleClickFile(int row)
{
    auto *view = static_cast<QAbstractItemView *>(Form1->File1);
    const QPoint p = rowCentre(row);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, p);
}

void pressInPathBox(int key, int modifiers)
{
    QTest::keyClick(Form1->Text1, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
}

void triggerMenu(const char *window, const char *name)
{
    QWidget *w = QString::fromLatin1(window) == QLatin1String("Form1") ? static_cast<QWidget *>(Form1.peek())
                                                                       : static_cast<QWidget *>(Form2.peek());
    QVERIFY(w);
    auto *action = w->findChild<QAction *>(QString::fromLatin1(name));
    QVERIFY2(action, name);
    action->trigger();
}

} // namespace vmtest
