#include "program/ScreenSet.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/Globals.h"
#include "screens/HelpForm.h"
#include "screens/InfoForm.h"
#include "screens/LoadForm.h"
#include "screens/MainForm.h"
#include "screens/OptionsForm.h"
#include "screens/QuestionForm.h"
#include "screens/SaveForm.h"
#include "screens/VisForm.h"

template <class T>
void cScreenSet::Make(T*& global) {
    global = new T;
    // Every form but the information dialog hears from the link.
    if constexpr (std::is_base_of_v<cIOForm, T>) LinkForms.push_back(global);
    Destroy.push_back([&global] {
        delete global;
        global = nullptr;
    });
}

cScreenSet::cScreenSet(eScope scope) {
    const bool all = scope == eScope::Program;
    LinkForms.clear();
    Make(MainForm);
    if (all) Make(OptionsForm);
    Make(VisForm);
    Make(ConfigForm);
    Make(CalibForm);
    Make(InfoForm);
    Make(DataExForm);
    if (all) Make(LoadForm);
    Make(SaveForm);
    Make(QuestionForm);
    if (all) Make(HelpForm);
    VisScreen = VisForm;
    ConfigScreen = ConfigForm;
    CalibScreen = CalibForm;
    DataExScreen = DataExForm;
}

cScreenSet::~cScreenSet() {
    LinkForms.clear();
    VisScreen = ConfigScreen = CalibScreen = DataExScreen = nullptr;
    for (auto it = Destroy.rbegin(); it != Destroy.rend(); ++it) (*it)();
}

const std::vector<cIOForm*>& cScreenSet::Listeners() const { return LinkForms; }
