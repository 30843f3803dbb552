// A window of the form runtime. The window object is created from its
// definition, loaded (its Load procedure runs), shown and hidden, and unloaded
// (its Unload procedure runs, then the window and its controls go). Each
// window of the program exists once and is reached through a FormRef.
#pragma once

#include "platform/units.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <optional>

namespace vm {

class Form : public QMainWindow {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(int Left READ leftTwips WRITE setLeftTwips)
    Q_PROPERTY(int Top READ topTwips WRITE setTopTwips)
    Q_PROPERTY(int Width READ widthTwips WRITE setWidthTwips)
    Q_PROPERTY(int Height READ heightTwips WRITE setHeightTwips)
    Q_PROPERTY(int ScaleWidth READ scaleWidthDevicePixels)
    Q_PROPERTY(int ScaleHeight READ scaleHeightDevicePixels)
    Q_PROPERTY(bool Visible READ Visible)

public:
    explicit Form(QWidget *parent = nullptr);
    ~Form() override;

    // The caption is shown exactly as given: Qt's "[*]" placeholder is
    // escaped, so a file name holding it keeps it.
    QString Caption() const { return m_caption.isNull() ? windowTitle() : m_caption; }
    void setCaption(const QString &caption);

    // Outer place and size.
    Twips Left() const;
    Twips Top() const;
    Twips Width() const;
    Twips Height() const;
    void setLeft(Twips twips);
    void setTop(Twips twips);
    void setWidth(Twips twips);
    void setHeight(Twips twips);

    // Inner area (below the menu bar): the interior scale (at a scale factor
    // of 2, twice Qt's logical size).
    DevicePixels ScaleWidth() const;
    DevicePixels ScaleHeight() const;

    // The same as plain numbers, for the properties.
    int leftTwips() const { return Left().value(); }
    int topTwips() const { return Top().value(); }
    int widthTwips() const { return Width().value(); }
    int heightTwips() const { return Height().value(); }
    void setLeftTwips(int v) { setLeft(Twips(v)); }
    void setTopTwips(int v) { setTop(Twips(v)); }
    void setWidthTwips(int v) { setWidth(Twips(v)); }
    void setHeightTwips(int v) { setHeight(Twips(v)); }
    int scaleWidthDevicePixels() const { return ScaleWidth().value(); }
    int scaleHeightDevicePixels() const { return ScaleHeight().value(); }

    bool Visible() const { return !isHidden(); }
    // A window shown again goes back to where it was when it was hidden.
    void setVisible(bool visible) override;

    // The runtime calls these; a window overrides the ones it has procedures for.
    virtual void Form_Load() { }
    virtual void Form_Unload(qint16 &Cancel) { }

    // Runs Form_Unload; unless cancelled, the window and its controls go.
    // Returns false when the unload was cancelled.
    bool Unload();

    // Connects the controls' events to the window's event procedures, the
    // slots named Control_Event (see eventbinding.h); the runtime does this
    // once, when it creates the window. What could not be bound is listed in
    // bindingErrors().
    void bindEvents();
    const QStringList &bindingErrors() const { return m_bindingErrors; }

Q_SIGNALS:
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    QMargins frameMargins() const;
    bool m_unloading = false;
    bool m_bound = false;
    QStringList m_bindingErrors;
    QString m_caption;
    std::optional<QPoint> m_hiddenAt; // frame's top-left when last hidden
};

// The single, global instance of a window, created on first use. Unloading
// drops the window; the next Show creates and loads it afresh.
template <typename T> class FormRef {
public:
    // Any touch of an unloaded window loads it, as the runtime does.
    T *operator->() { return &Load(); }
    T &operator*() { return Load(); }

    T &Load()
    {
        if (!m_window) {
            m_window = new T();
            m_window->bindEvents();
            QObject::connect(m_window, &Form::unloaded, m_window, [this, w = m_window] {
                if (m_window == w)
                    m_window = nullptr;
            });
            m_window->Form_Load();
        }
        return *m_window;
    }
    void Show()
    {
        T &w = Load();
        w.show();
        w.raise();
        w.activateWindow();
    }
    void Hide()
    {
        if (m_window)
            m_window->hide();
    }
    void Unload()
    {
        if (m_window)
            m_window->Unload();
    }
    bool isLoaded() const { return m_window != nullptr; }
    T *peek() const { return m_window; }
    // Drops the window without running any procedure (program end, tests).
    void destroy()
    {
        delete m_window.data();
        m_window = nullptr;
    }

private:
    QPointer<T> m_window;
};

} // namespace vm
