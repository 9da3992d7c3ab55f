#pragma once

#include "device/DeviceUi.h"
#include "support/Error.h"

#include <QStringList>

namespace zul::test {

// The main window as the device link sees it: records what it is asked to show and do.
class FakeDeviceUi final : public DeviceUi
{
public:
    QString statusLine() const override { return caption; }
    void setStatusLine(const QString& text) override
    {
        if (failStatusLine)
            throw Error(QStringLiteral("rótulo indisponível"));
        caption = text;
    }
    void setStatusHints(const QString& panelHint, const QString& tip) override
    {
        hint = panelHint;
        trayTip = tip;
    }
    LinkMenu linkMenu() const override { return link; }
    bool normalMounting() const override
    {
        if (failMounting)
            throw Error(QStringLiteral("menu indisponível"));
        return normal;
    }
    void enableMenus() override { ++menusEnabled; }
    void startInicializaTimer() override
    {
        if (failTimer)
            throw Error(QStringLiteral("timer indisponível"));
        inicializaTimerOn = true;
    }
    void stopReconnectTimer() override { reconnectTimerOn = false; }

    QString caption = QStringLiteral("Catraca desconectada");
    QString hint;
    QString trayTip;
    LinkMenu link{QStringLiteral("&Serial   (Porta 1)"), QStringLiteral("TCP/&IP (Porta 3570)"), false, true};
    bool normal = false;
    int menusEnabled = 0;
    bool inicializaTimerOn = false;
    bool reconnectTimerOn = true;
    bool failStatusLine = false;
    bool failTimer = false;
    bool failMounting = false;
};

} // namespace zul::test
