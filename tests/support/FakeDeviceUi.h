#pragma once

#include "device/DeviceUi.h"
#include "support/Error.h"

#include <QStringList>

namespace zul::test {

using namespace Qt::StringLiterals;

// The main window as the device link sees it: records what it is asked to show and do.
class FakeDeviceUi final : public DeviceUi
{
public:
    QString statusLine() const override { return caption; }
    void setStatusLine(const QString& text) override
    {
        if (failStatusLine)
            throw Error(u"rótulo indisponível"_s);
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
            throw Error(u"menu indisponível"_s);
        return normal;
    }
    void enableMenus() override { ++menusEnabled; }
    void startInicializaTimer() override
    {
        if (failTimer)
            throw Error(u"timer indisponível"_s);
        inicializaTimerOn = true;
    }
    void stopReconnectTimer() override { reconnectTimerOn = false; }

    QString caption = u"Catraca desconectada"_s;
    QString hint;
    QString trayTip;
    LinkMenu link{u"&Serial   (Porta 1)"_s, u"TCP/&IP (Porta 3570)"_s, false, true};
    bool normal = false;
    int menusEnabled = 0;
    bool inicializaTimerOn = false;
    bool reconnectTimerOn = true;
    bool failStatusLine = false;
    bool failTimer = false;
    bool failMounting = false;
};

} // namespace zul::test
