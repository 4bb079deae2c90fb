// A work screen retranslated after a language switch shows exactly the texts
// of a screen created in that language: no text is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>

#include "core/Translate.h"

#include "widgets/DialGauge.h"
#include "widgets/VerticalLabel.h"

#include "kit/IOForm.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/VisForm.h"

namespace {

QStringList Texts(QWidget* form) {
    QStringList out{form->windowTitle()};
    for (QWidget* w : form->findChildren<QWidget*>()) {
        const QString name = w->objectName() + QStringLiteral(": ");
        if (auto* l = qobject_cast<QLabel*>(w)) out << name + l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w)) out << name + b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w)) out << name + g->title();
        else if (auto* v = qobject_cast<cVerticalLabel*>(w)) out << name + v->Text();
        else if (auto* d = qobject_cast<cDialGauge*>(w)) out << name + d->Caption();
        else if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i) out << name + c->itemText(i);
    }
    return out;
}

class cLanguage {
public:
    cLanguage() {
        const char* env = std::getenv("LANGUAGE");
        HadLanguage = env != nullptr;
        SavedEnv = env ? env : "";
        const char* bin = std::getenv("ZV_BIN_DIR");
        const std::filesystem::path dir =
            std::filesystem::path(bin ? bin : QCoreApplication::applicationDirPath().toStdString()) / "locale";
        Translate::Init(dir.string());
        Saved = Translate::CurrentLanguage();
    }
    ~cLanguage() {
        Translate::SetLanguage(Saved.empty() ? "en" : Saved);
        if (HadLanguage) ::setenv("LANGUAGE", SavedEnv.c_str(), 1);
        else ::unsetenv("LANGUAGE");
    }
    bool Has(const std::string& code) const {
        const auto codes = Translate::AvailableLanguages();
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }

private:
    std::string Saved, SavedEnv;
    bool HadLanguage = false;
};

template <class T>
void CheckRetranslation() {
    cLanguage language;
    if (!language.Has("de") || !language.Has("en")) GTEST_SKIP() << "catalogues not built";
    cIOForm::SetScreenOverride(QSize(1024, 768), 96);
    Translate::SetLanguage("en");
    auto form = std::make_unique<T>();
    const QStringList english = Texts(form.get());

    Translate::SetLanguage("de");
    form->RetranslateForm();
    auto fresh = std::make_unique<T>();
    EXPECT_EQ(Texts(form.get()), Texts(fresh.get()));
    EXPECT_NE(Texts(form.get()), english);

    Translate::SetLanguage("en");
    form->RetranslateForm();
    EXPECT_EQ(Texts(form.get()), english);
}

}  // namespace

TEST(Retranslate, ConfigScreen) { CheckRetranslation<TConfigForm>(); }
TEST(Retranslate, CalibScreen) { CheckRetranslation<TCalibForm>(); }
TEST(Retranslate, VisScreen) { CheckRetranslation<TVisForm>(); }
TEST(Retranslate, DataExScreen) { CheckRetranslation<TDataExForm>(); }
