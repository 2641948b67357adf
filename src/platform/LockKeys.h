#pragma once
// The state of the Caps Lock, Num Lock and Scroll Lock keys, for the status bar's indicator
// panes. On X11 it is read from the keyboard extension's named indicators ("Caps Lock",
// "Num Lock", "Scroll Lock") and followed as they change. Where the platform cannot tell
// (Wayland, offscreen, a build without the X keyboard extension), every lock reads as off.

#include <QObject>

#include <memory>

class LockKeys : public QObject
{
    Q_OBJECT

public:
    enum Key { CapsLock, NumLock, ScrollLock };

    explicit LockKeys(QObject *parent = nullptr);
    ~LockKeys() override;

    // Whether the platform tells the locks' state at all.
    bool isKnown() const;
    // Whether the lock is on; false when it is off or cannot be told.
    bool isOn(Key key) const;

signals:
    // The state of one lock or more may have changed.
    void changed();

private:
    class X11Indicators;
    std::unique_ptr<X11Indicators> m_x11;
};
