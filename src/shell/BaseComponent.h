#pragma once
// A component with an on/off switch, read and written through virtual functions so that
// derived components (the control link, the change notifier) can react to it.

#include <QObject>

namespace shell {

class TBaseComponent : public QObject
{
    Q_OBJECT
public:
    explicit TBaseComponent(QObject* owner = nullptr) : QObject(owner) {}

    virtual bool Enabled() const { return m_enabled; }
    virtual void SetEnabled(bool on) { m_enabled = on; }

private:
    bool m_enabled = true;
};

} // namespace shell
