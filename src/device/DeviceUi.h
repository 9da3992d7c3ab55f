#pragma once

#include <QString>

namespace zul {

// The link type menu as the operator left it: the captions of "&Serial   (Porta 1)"
// (`mnuSerial`) and "TCP/&IP (Porta 3570)" (`mnuTCP`) and which of the two radio items is ticked.
struct LinkMenu
{
    QString serialCaption;
    QString tcpCaption;
    bool serialTicked = false;
    bool tcpTicked = true;
};

// What the device link needs of the main window. The window implements it; the device code
// never sees a widget, so it runs the same under a service, headless, or a test's fake.
class DeviceUi
{
public:
    virtual ~DeviceUi() = default;

    // The caption of the status label `lblConnect`.
    virtual QString statusLine() const = 0;
    virtual void setStatusLine(const QString& caption) = 0;
    // The status panel's hint and the tray component's hint take the whole caption; the tip of
    // the notification-area icon takes `trayTip`, and the icon is refreshed.
    virtual void setStatusHints(const QString& hint, const QString& trayTip) = 0;

    virtual LinkMenu linkMenu() const = 0;
    // True when "&Normal" (`mnuNormal`) is ticked under "Sentido da &Catraca"; any other state
    // is the inverted mounting.
    virtual bool normalMounting() const = 0;

    // `EnableMenus`: enables "&Opções" and "&Dados".
    virtual void enableMenus() = 0;
    // Enables `tmrInicializa`, whose handler starts the online connection one second later.
    virtual void startInicializaTimer() = 0;
    // Disables `tmrReconnect`, the database retry timer.
    virtual void stopReconnectTimer() = 0;
};

} // namespace zul
