// A test bench for the work screens: the ECU simulator (instant replies) at a
// given version, the real link thread delivering to the real screens and
// dialogs on the user-interface thread, and helpers to wait, answer modal
// dialogs and read what the ECU received.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QPointer>
#include <QString>
#include <QStringList>

#include "link/CommThread.h"
#include "link/LinkListener.h"

#include "screens/InfoForm.h"
#include "screens/MainForm.h"
#include "screens/QuestionForm.h"
#include "screens/SaveForm.h"

#include "program/ScreenSet.h"

#include "tools/ecusim/EcuSimulator.h"

class TVisForm;
class TConfigForm;
class TCalibForm;
class TDataExForm;
class QTimer;
class QWidget;

class cScreenRig : public cLinkListener {
public:
    explicit cScreenRig(int version);
    ~cScreenRig() override;

    // Creates the forms, starts the simulator and the link and waits until
    // the settings have been read. False on time-out.
    bool Start();

    cEcuSimulator Sim;
    // The screens of the work-screen scope, in the program's order.
    std::unique_ptr<cScreenSet> Screens;
    std::unique_ptr<cCommThread> Link;
    // Heard after the bench itself; set before Start.
    std::vector<cLinkListener*> ExtraListeners;
    // Runs in Start once the screens and the link are there, before the link
    // is given the port (as the program's start-up steps before connecting).
    std::function<void()> BeforeConnect;
    TMainForm* Main = nullptr;
    TVisForm* Vis = nullptr;
    TConfigForm* Config = nullptr;
    TCalibForm* Calib = nullptr;
    TDataExForm* DataEx = nullptr;
    TSaveForm* Save = nullptr;
    TQuestionForm* Question = nullptr;
    TInfoForm* Info = nullptr;

    // Notifications counted by the bench (it listens after every form).
    int Loaded = 0;
    int Failed = 0;
    int LiveValues = 0;
    void SettingsLoaded() override { ++Loaded; }
    void RequestFailed() override { ++Failed; }
    void LinkEvent() override;

    // Processes events until pred holds; false after `ms`.
    static bool WaitUntil(const std::function<bool()>& pred, int ms = 8000);
    // Processes events for a while.
    static void Pump(int ms);
    // Waits until the link is connected, idle and polling in the background.
    bool WaitIdle(int ms = 8000);
    // Waits until `count` more live values have reached the screens.
    bool WaitLive(int count, int ms = 8000);

    // Write frames (0xC0 + parameter) the ECU received since the last
    // ClearLog, as (parameter, value).
    std::vector<std::pair<int, int>> Writes() const;
    // Command bytes received since the last ClearLog.
    std::vector<uint8_t> Commands() const { return Sim.Commands(); }

    // Answers the next question dialog (Yes or No) once it is up and the
    // link has finished the request it was serving.
    // Answers the next question; by default once the link is free, as a
    // person would, or at once.
    void AnswerQuestion(bool yes, bool atOnce = false);
    // Acknowledges the next information dialog; its text goes to `text`.
    void AcknowledgeInfo(QString* text);
    // Presses one key in each of the next questions, in turn, as they come
    // up; their texts go to `texts`. A question that follows another at
    // once has another text here.
    void PressInQuestions(std::vector<int> keys, QStringList* texts);

    static void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier);

private:
    // A timer that watches for a dialog on the bench's behalf; deleted with
    // the bench when its dialog never came.
    QTimer* NewWatch();
    std::vector<QPointer<QTimer>> Watches;
    int Version;
};
