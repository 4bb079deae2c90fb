// Start-up and shutdown of the program: creates the screens in their fixed
// order, the link thread and the program settings, reads zvbasic.ini, applies
// language and port, replaces the help picture, runs the event loop until the
// main menu closes, then stops the link, writes zvbasic.ini and destroys the
// screens.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QString>

class cAutoBackup;
class cIOForm;
class cLinkListener;
class cEndSignals;
class cScreenSet;

struct sShellOptions {
    QString ExeDir;   // the executable's folder; locale/ and data/ are looked for from here
    QString IniPath;  // empty: beside the executable, or the user's config folder (cIni)
    // Heard after the screens (tests); the program has none.
    std::vector<cLinkListener*> ExtraListeners;
    // A vehicle file from the command line (a double-click on it): opened on
    // the data transfer screen once the main menu is up; empty: none.
    QString OpenFile;
    // Shows a start-up failure; empty: the standard error box.
    std::function<void(const QString&)> ShowError;
};

class cShell : public QObject {
    Q_OBJECT
public:
    enum class eStart { Ok, Failed, Fatal };

    explicit cShell(sShellOptions options);
    ~cShell() override;  // shuts down if that has not been done

    // The start-up steps up to the event loop, inside the exception guard.
    // Failed: a failure was shown and the event loop must not run; the
    // shutdown still runs. Fatal: the link thread or the settings could not
    // be created; the failure was shown, nothing more is to be done.
    eStart Start();
    // Brings the main menu up and runs the event loop until it closes.
    void Run();
    // Stops and destroys the link thread, writes the settings file, destroys
    // the screens. Runs once.
    void Shutdown();
    // All of it: the program's entry point after the application object.
    int Main();

    // The forms that hear from the link, in creation order.
    const std::vector<cIOForm*>& Forms() const;
    // Where zvbasic.ini is written (and read from, when it is there).
    QString IniPath() const { return IniSaveFile; }

private:
    void CreateScreens();
    // The program's settings object; false after reporting that there is
    // no memory for it.
    bool CreateSettings();
    void DestroyScreens();
    // Stops and destroys the link thread, then the backups it notifies.
    void StopLink();
    // Posts the opening of Options.OpenFile.
    void OpenStartFile();
    void Report(const QString& text);

    // SIGTERM, SIGINT and SIGHUP end the program the orderly way, from the
    // start of Start to the end of Shutdown.
    std::unique_ptr<cEndSignals> EndSignals;
    // Backs up every completed settings read; hears the link after the screens.
    std::unique_ptr<cAutoBackup> AutoBackup;
    sShellOptions Options;
    QString IniLoadFile;
    QString IniSaveFile;
    QString ResourceDir;
    std::unique_ptr<cScreenSet> Screens;
    bool Started = false;
    bool ShutDownDone = false;
};
