// A Qt plugin that the installed-program test loads into the real zvbasic
// (QT_QPA_GENERIC_PLUGINS=zvprobe): it watches the screens from inside the
// process and, once the main menu's status line shows the text ZVPROBE_STATUS
// and, when ZVPROBE_PROGRESS is set, its progress line that text (the ECU
// identified and its settings read), or after ZVPROBE_SECONDS (30 by
// default), writes what it saw to the file named by ZVPROBE_OUT and ends the
// program the ordinary way.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <qgenericplugin.h>

namespace {

QWidget* Screen(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name)) return w;
    return nullptr;
}

template <class T>
T* Child(const char* screen, const char* name) {
    QWidget* s = Screen(screen);
    return s ? s->findChild<T*>(QLatin1String(name)) : nullptr;
}

class cProbe : public QObject {
public:
    cProbe() {
        Limit = qEnvironmentVariableIsSet("ZVPROBE_SECONDS") ? qEnvironmentVariableIntValue("ZVPROBE_SECONDS") : 30;
        Clock.start();
        connect(&Timer, &QTimer::timeout, this, [this] { Look(); });
        Timer.start(100);
    }

private:
    void Look() {
        QLabel* status = Child<QLabel>("MainForm", "StatusLL");
        if (!status) return;  // not started yet
        QLabel* progress = Child<QLabel>("MainForm", "ProgressLL");
        const bool reached = status->text() == qEnvironmentVariable("ZVPROBE_STATUS") &&
                             (!qEnvironmentVariableIsSet("ZVPROBE_PROGRESS") ||
                              (progress && progress->text() == qEnvironmentVariable("ZVPROBE_PROGRESS")));
        if (!reached && Clock.elapsed() < Limit * 1000) return;
        Timer.stop();
        Report(status->text());
        QCoreApplication::exit(0);
    }

    void Report(const QString& status) {
        QString out;
        out += QStringLiteral("status=%1\n").arg(status);
        if (QLabel* l = Child<QLabel>("MainForm", "ProgressLL")) out += QStringLiteral("progress=%1\n").arg(l->text());
        if (QLabel* l = Child<QLabel>("MainForm", "ECUTypeLL")) out += QStringLiteral("ecu-type=%1\n").arg(l->text());
        if (QLabel* l = Child<QLabel>("MainForm", "ECUVersionLL"))
            out += QStringLiteral("ecu-version=%1\n").arg(l->text());
        if (QLabel* l = Child<QLabel>("OptionsForm", "VrLabel1"))
            out += QStringLiteral("options-title=%1\n").arg(l->text());
        if (QComboBox* cb = Child<QComboBox>("OptionsForm", "LangCB")) {
            QStringList items;
            for (int i = 0; i < cb->count(); ++i) items << cb->itemText(i);
            out += QStringLiteral("languages=%1\nlanguage=%2\n").arg(items.join(QLatin1Char(',')), cb->currentText());
        }
        if (QLabel* help = Child<QLabel>("HelpForm", "HelpIM")) {
            // The viewer sizes its picture control to the picture; the
            // built-in picture itself is decoded only when first shown.
            out += QStringLiteral("help=%1x%2\n").arg(help->width()).arg(help->height());
            const QPixmap pm = help->pixmap();
            if (!pm.isNull()) out += QStringLiteral("help-pixmap=%1x%2\n").arg(pm.width()).arg(pm.height());
        }
        QFile file(qEnvironmentVariable("ZVPROBE_OUT"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(out.toUtf8());
    }

    QTimer Timer;
    QElapsedTimer Clock;
    int Limit = 30;
};

}  // namespace

class cProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "zvprobe.json")
public:
    QObject* create(const QString& key, const QString&) override {
        return key.compare(QLatin1String("zvprobe"), Qt::CaseInsensitive) == 0 ? new cProbe : nullptr;
    }
};

#include "ProbePlugin.moc"
