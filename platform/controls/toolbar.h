// Tool bar. Its buttons are actions carrying the button's settings as
// properties: "Key" (text), "Image" (1-based index, or an image key, into the
// tool bar's image list), "ToolTipText". A separator is an action with the
// separator flag; it has no key and raises nothing.
#pragma once

#include <QString>
#include <QToolBar>

namespace vm {

class ImageList;

struct Button {
    QString Key;
    int Index = 0; // 1-based position on the bar
};

class Toolbar : public QToolBar {
    Q_OBJECT
    Q_PROPERTY(QString ImageList READ ImageListName WRITE setImageList)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    Q_PROPERTY(int Height READ height)

public:
    explicit Toolbar(QWidget *parent = nullptr);

    QString ImageListName() const { return m_imageList; }
    void setImageList(const QString &name);
    bool Visible() const { return !isHidden(); }

    // The buttons in order, separators included (for tools and tests).
    QList<QAction *> buttons() const { return actions(); }
    // Presses the button at a 1-based position, as a click does.
    void click(int index);

Q_SIGNALS:
    void ButtonClick(const vm::Button &Button);

protected:
    void actionEvent(QActionEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void applyImages();
    void trigger(QAction *action);

    QString m_imageList;
};

} // namespace vm
