#include "app/SimulatorWindow.h"

#include "core/Simulator.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

using namespace Qt::StringLiterals;

int runSimulatorWindow(int argc, char** argv, sim::Simulator& simulator, std::atomic<bool>& quit)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(u"catraca-sim"_s);
    auto* layout = new QGridLayout(&window);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto* line1 = new QLabel(&window);
    auto* line2 = new QLabel(&window);
    for (QLabel* line : {line1, line2}) {
        line->setFont(fixed);
        line->setStyleSheet(u"background:#1b3b1b;color:#b8f5b8;padding:2px"_s);
    }
    auto* armLabel = new QLabel(&window);
    auto* card = new QLineEdit(u"0000000001"_s, &window);
    card->setMaxLength(14);
    auto* present = new QPushButton(u"Card"_s, &window);
    auto* rotate = new QPushButton(u"Rotate"_s, &window);
    auto* noPass = new QPushButton(u"No pass"_s, &window);
    layout->addWidget(line1, 0, 0, 1, 3);
    layout->addWidget(line2, 1, 0, 1, 3);
    layout->addWidget(armLabel, 2, 0, 1, 3);
    layout->addWidget(card, 3, 0);
    layout->addWidget(present, 3, 1);
    layout->addWidget(rotate, 4, 0);
    layout->addWidget(noPass, 4, 1);

    QObject::connect(present, &QPushButton::clicked, &window,
                     [&] { simulator.presentCard(card->text().toLatin1().toStdString()); });
    QObject::connect(rotate, &QPushButton::clicked, &window, [&] { simulator.rotate(); });
    QObject::connect(noPass, &QPushButton::clicked, &window, [&] { simulator.noPass(); });

    // Polled rather than pushed: the simulator's threads never touch the widgets.
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, &window, [&] {
        if (quit)
            app.quit();
        const sim::Display shown = simulator.display();
        line1->setText(QString::fromLatin1(shown.line1.data(), static_cast<qsizetype>(shown.line1.size())));
        line2->setText(QString::fromLatin1(shown.line2.data(), static_cast<qsizetype>(shown.line2.size())));
        armLabel->setText(QString::fromStdString(sim::armName(simulator.arm())) +
                          (simulator.linkOpen() ? u" - link open"_s : u" - link closed"_s));
    });
    refresh.start(200);
    window.show();
    const int status = app.exec();
    quit = true;
    return status;
}
