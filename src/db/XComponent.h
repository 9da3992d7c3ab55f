#pragma once

#include <QObject>

namespace zul {

// Base of the layer's components. A component built from a stored description goes through an
// explicit loading phase: BeginLoading(), then its properties are set, then Loaded(). While
// loading, property writes that would reach a driver are only remembered.
class TXComponent : public QObject
{
    Q_OBJECT
public:
    explicit TXComponent(QObject* owner = nullptr) : QObject(owner) {}

    void BeginLoading() { m_loading = true; }
    virtual void Loaded() { m_loading = false; }
    bool IsLoading() const { return m_loading; }
    bool IsDestroying() const { return m_destroying; }

protected:
    void MarkDestroying() { m_destroying = true; }

private:
    bool m_loading = false;
    bool m_destroying = false;
};

} // namespace zul
